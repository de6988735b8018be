// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <string>
#include <string_view>

#include "core/counter_state.h"

// Reads the positional settings file into `state`; false (and nothing changed) when it cannot be
// opened. Owner thread.
bool ReadSettings(CounterState& state, const std::string& file_name);

// Writes the eleven lines, atomically; false when the file cannot be written.
bool WriteSettings(const CounterState& state, const std::string& file_name);

// The reading rules over the file's text: values by position, key words ignored, at most 127
// characters of a key or the title kept, and a value outside the range its window allows (or too
// large for 32 bits) leaves the setting as it was. Owner thread.
void ParseSettings(CounterState& state, std::string_view text);

// The eleven lines as WriteSettings writes them.
std::string FormatSettings(const CounterState& state);
