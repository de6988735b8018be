// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <string>

#include "core/counter_state.h"

// The Read File command once a path is chosen: logs the reading line, reads the WAV file and
// analyses it as one period. `capturing` tells that a live run is recording, which refuses the
// command. Owner thread.
//
// A file that fails the header test leaves no sample buffer and logs the parsing error; a file
// of less than one second of samples, or a run in progress, is refused with its own log line and
// changes nothing. A mono file is analysed as one channel, also in coincidence mode.
void ReadWavFileCommand(CounterState& state, const std::string& path, bool capturing);

inline constexpr char kWavParseError[] = "Error parsing Wave file.  Is it mono, 8 bit, 11025 kHz?";
inline constexpr char kWavWhileCapturing[] = "Cannot read a WAV file while sampling: Cancel first.";
inline constexpr char kWavTooShort[] =
    "The WAV file holds less than one second of samples: nothing to count.";
