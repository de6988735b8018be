// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>

#include "core/counter_state.h"

// What a period's samples are: its length in whole seconds and whether it holds two channels.
// The capture records these at Start, so a setting changed in mid-run cannot make a period be
// read past its buffer or reported with a length it does not have.
struct PeriodFormat {
  uint32_t seconds = 1;
  bool two_channels = false;
};

// One period: counts the pulses in the first seconds x samplerate (x 2) bytes of
// `sample_buffer` (never more than it holds), subtracts the timing clicks, stores the count in
// the history, reports it and asks the graph to repaint. Owner thread only.
void ProcessSample(CounterState& state, PeriodFormat format);

// The same with the period as the state's `sampletime` and `coincidence` describe it.
void ProcessSample(CounterState& state);

// The rest of a period whose pulses were counted elsewhere (a WAV file is counted while it is
// read): `detected` is the detectors' count, before the timing clicks are subtracted. Owner
// thread only.
void ProcessCountedPeriod(CounterState& state, PeriodFormat format, int32_t detected);
