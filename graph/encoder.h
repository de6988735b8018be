// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <chrono>
#include <string>

// Starts the JPEG encoder on `bmp_name`, writing `jpg_name`, and returns at once. The encoder is
// "./cjpeg" when the working directory holds one, else "cjpeg" along PATH; a missing encoder is
// silent. It runs in its own session with its standard streams on /dev/null, and a waiter
// thread reaps it, so it never stays behind as a zombie.
//
// One encoder runs at a time: two would write the same JPEG at once and could leave it mixed.
// A request made while one runs is kept, and one more encoder starts when it ends, so the JPEG
// always ends up showing the newest picture. Owner thread; the waiter threads are internal.
void StartJpegEncoder(const std::string& bmp_name, const std::string& jpg_name);

// Waits up to `timeout` until no encoder runs and none is waiting to start; true when idle.
bool WaitForJpegEncoder(std::chrono::milliseconds timeout);

// The encoder that StartJpegEncoder would run now: "./cjpeg", a path found along PATH, or empty.
std::string FindJpegEncoder();
