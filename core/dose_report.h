// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <optional>
#include <string>

#include "core/counter_state.h"
#include "core/dose.h"

// The dose part of the window and the log. Owner thread only.

// After a period's results: keeps `dose` as the latest, adds it to the accumulated doses and
// takes it into the alarm (periods from the line input only: a recording read from a file is
// not the dose of now), then writes the µSv/h fields, the uncertainty, the dead-time note, the
// doses and the alarm field, and logs a saturated period and a change of the alarm.
void ReportDose(CounterState& state, const PeriodDose& dose);

// The dose fields as the window opens, once blipcount.conf has been read: the dead-time note,
// the doses and the alarm field with its rule.
void ShowDoseSettings(CounterState& state);

// The Zero command's part: the dose since Zero starts again, and the average's µSv/h and
// uncertainty clear with the other average fields. The alarm and its run of periods go on:
// Zero starts a new average, not a new measurement of the dose rate.
void ZeroDose(CounterState& state);

// A rate with `precision` decimals; a saturated one gets a ">" before it (the least it was).
std::string FormatRate(int precision, double value, bool saturated);

// "±4.1%" from a relative uncertainty; empty when there is none.
std::string FormatUncertainty(std::optional<double> relative);
