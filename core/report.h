// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <string>

#include "core/counter_state.h"
#include "core/dose.h"

// What a period's report shows, besides its counts.
struct PeriodResults {
  double factor = 0.0;    // counts per period to counts per minute
  double cpm = 0.0;       // becomes `current_cpm`: dead-time corrected when the correction is on
  uint32_t mean = 0;      // becomes `average_counts`: the mean counts over the entries averaged
  double mean_cpm = 0.0;  // the average's CPM, corrected as `cpm` is
  uint32_t iteration = 0;
  PeriodDose dose;  // the rates, the dose and the uncertainty
};

// Computes a period's results from the history and stores `current_cpm` and `average_counts`.
// The caller holds `state.shared_mutex`, so that the status server sees them together with the
// history entry they come from. Owner thread only.
PeriodResults RecordResults(CounterState& state, int32_t counts, uint32_t sampletime);

// Writes the results into the main window's fields, logs the period line and the confidence
// line, and reports the dose. Owner thread only, without the mutex.
void ShowResults(CounterState& state, int32_t counts, const PeriodResults& results);

// Both, for a period already stored: RecordResults under the mutex, then ShowResults.
void ReportResults(CounterState& state, int32_t counts, uint32_t sampletime);

// Appends a line to the log list. Owner thread only.
void LogLine(CounterState& state, const std::string& text);

// Appends a line to the log list from any thread: posted to the owner thread when there is one.
void PostLogLine(CounterState& state, std::string text);

// Asks the graph window, once it exists, to repaint without erasing.
void RepaintGraph(CounterState& state);

// The per-period log line and the confidence line, as ReportResults logs them.
std::string FormatPeriodLine(bool forever, uint32_t iteration, int32_t counts, double cpm,
                             double scale, double mean_cpm);
std::string FormatConfidenceLine(int32_t counts, double factor);
