// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

class QWidget;

// The time from the program's entry to the main window's first paint, for measuring start-up.
namespace StartupClock {

// Call first thing in main().
void MarkMainEntry();
double MillisecondsSinceMainEntry();
// At the window's first paint: prints "first paint after N ms" to standard error and ends the
// window (the cancel route).
void QuitAfterFirstPaint(QWidget& window);

}  // namespace StartupClock
