#pragma once

#include <string>

#include "core/counter_state.h"

// The Read File command once a path is chosen: logs the reading line, reads the WAV file and
// analyses it as one period. `capturing` tells that a live run is recording, which refuses the
// command. Owner thread.
void ReadWavFileCommand(CounterState& state, const std::string& path, bool capturing);
