// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/report.h"

#include <cmath>
#include <utility>

#include "core/text_format.h"

namespace {

void SetField(TextControl* field, const std::string& text) {
  if (field != nullptr) field->SetText(text);
}

}  // namespace

std::string FormatPeriodLine(bool forever, uint32_t iteration, int32_t counts, double cpm,
                             double scale, double mean_cpm) {
  // "#%-4d" is the left-aligned iteration number; a zero flag would be ignored beside '-'.
  std::string prefix = forever ? std::string() : StringPrintf("#%-4d", static_cast<int>(iteration));
  return prefix + StringPrintf("Counts=%-5d CPM=%-5.0f mR/hr=%-2.3f   Ave: CPM=%-4.2f (%.3f mR/hr)",
                               counts, cpm, cpm / scale, mean_cpm, mean_cpm / scale);
}

std::string FormatConfidenceLine(int32_t counts, double factor) {
  const double spread = 1.96 * std::sqrt(static_cast<double>(counts));
  return StringPrintf("   95%% confidence interval on %d counts %.2f to %.2f CPM", counts,
                      (counts - spread) * factor, (counts + spread) * factor);
}

PeriodResults RecordResults(CounterState& state, int32_t counts, uint32_t sampletime) {
  PeriodResults results;
  results.factor = 60.0 / DivisorSeconds(sampletime);
  results.cpm = static_cast<uint32_t>(counts) * results.factor;
  const uint64_t n = state.forever() ? state.scrollwidth : state.iteration;
  results.mean = MeanCounts(state.history, n);
  results.mean_cpm = results.mean * results.factor;
  results.iteration = state.iteration;
  state.current_cpm = results.cpm;
  state.average_counts = results.mean;
  return results;
}

void ShowResults(CounterState& state, int32_t counts, const PeriodResults& results) {
  const double scale = state.scale;
  const MainControls& window = state.controls;
  SetField(window.counts_field, StringPrintf("%d", counts));
  SetField(window.cpm_field, StringPrintf("%.0f", results.cpm));
  SetField(window.mrhr_field, StringPrintf("%.3f", results.cpm / scale));
  SetField(window.avg_cpm_field, StringPrintf("%.1f", results.mean_cpm));
  SetField(window.avg_mrhr_field, StringPrintf("%.3f", results.mean_cpm / scale));

  LogLine(state, FormatPeriodLine(state.forever(), results.iteration, counts, results.cpm, scale,
                                  results.mean_cpm));
  if (state.logconfidence) LogLine(state, FormatConfidenceLine(counts, results.factor));
}

void ReportResults(CounterState& state, int32_t counts, uint32_t sampletime) {
  PeriodResults results;
  {
    std::lock_guard lock(state.shared_mutex);
    results = RecordResults(state, counts, sampletime);
  }
  ShowResults(state, counts, results);
}

void LogLine(CounterState& state, const std::string& text) {
  if (state.controls.log_list != nullptr) state.controls.log_list->AddLine(text);
}

void PostLogLine(CounterState& state, std::string text) {
  if (state.owner == nullptr) {
    LogLine(state, text);
    return;
  }
  state.owner->Post([&state, line = std::move(text)] { LogLine(state, line); });
}

void RepaintGraph(CounterState& state) {
  if (state.graph_open && state.graphdlg != nullptr) state.graphdlg->Repaint();
}
