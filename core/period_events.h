// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <string>

#include "core/counter_state.h"
#include "core/process.h"

// The wall clock, UTC, in milliseconds since 1970.
int64_t UtcNowMs();

// Tell the period listeners of a run, its end and the notes. Owner thread only.

// A run starts now with the state's settings and a period of `format`.
void TellRunStart(const CounterState& state, PeriodFormat format);
void TellRunEnd(const CounterState& state, RunEnd how);
void TellNotes(const CounterState& state, const std::string& text);
