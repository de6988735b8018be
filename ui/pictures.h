// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <QIcon>
#include <QPixmap>

// The program's pictures, drawn by the program itself: the window icon in its 32 x 32 and
// 16 x 16 forms, and the About box's 204 x 147 picture.
QIcon ProgramIcon();
QPixmap AboutPicture();
