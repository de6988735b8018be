// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <string>

#include "core/counter_state.h"

// Writes the period's results into the main window's fields and the log. Owner thread only.
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
