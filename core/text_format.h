// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <string>

// printf formatting into a string; the compiler checks the format against the arguments.
std::string StringPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
