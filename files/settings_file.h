#pragma once

#include <string>

#include "core/counter_state.h"

// Reads the positional settings file into `state`; false (and nothing changed) when it cannot be
// opened. Owner thread.
bool ReadSettings(CounterState& state, const std::string& file_name);

// Writes the eleven lines, atomically; false when the file cannot be written.
bool WriteSettings(const CounterState& state, const std::string& file_name);
