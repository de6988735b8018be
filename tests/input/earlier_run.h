// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <gtest/gtest.h>

#include "core/counter_state.h"

// The state as an earlier run left it, to see what a refused or cancelled Read File leaves
// alone: a repeat of 5, a sample time of 3, one period of 77 counts in a five-entry history, and
// a sample buffer of 4 bytes.
inline void PutEarlierRun(CounterState& state) {
  state.repeat = 5;
  state.sampletime = 3;
  state.history = CountHistory::Allocate(5);
  state.history.Store(0, 77);
  state.iteration = 1;
  state.sample_buffer = ZeroedBlock::Allocate(4);
}

inline void ExpectEarlierRun(const CounterState& state) {
  EXPECT_EQ(state.repeat, 5u);
  EXPECT_EQ(state.sampletime, 3u);
  ASSERT_EQ(state.history.size(), 5u);
  EXPECT_EQ(state.history.entries()[0], 77u);
  EXPECT_EQ(state.iteration, 1u);
}
