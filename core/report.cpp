// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/report.h"

#include <cmath>
#include <utility>

#include "core/dose_report.h"
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
  const uint64_t n = state.forever() ? state.scrollwidth : state.iteration;
  results.mean = MeanCounts(state.history, n);
  // The CPM shown everywhere is the dead-time corrected one; with the correction off (the
  // default) it is the measured one, so every text stays as it was.
  results.dose = MeasureDose(counts, sampletime, results.mean, SumCounts(state.history, n),
                             state.scale, state.config.dead_time_us);
  results.cpm = results.dose.cpm;
  results.mean_cpm = results.dose.average_cpm;
  results.iteration = state.iteration;
  state.current_cpm = results.cpm;
  state.average_counts = results.mean;
  return results;
}

void ShowResults(CounterState& state, int32_t counts, const PeriodResults& results) {
  const double scale = state.scale;
  const MainControls& window = state.controls;
  const PeriodDose& dose = results.dose;
  SetField(window.counts_field, StringPrintf("%d", counts));
  SetField(window.cpm_field, FormatRate(0, results.cpm, dose.saturated));
  SetField(window.mrhr_field, FormatRate(3, results.cpm / scale, dose.saturated));
  SetField(window.avg_cpm_field, FormatRate(1, results.mean_cpm, dose.average_saturated));
  SetField(window.avg_mrhr_field, FormatRate(3, results.mean_cpm / scale, dose.average_saturated));

  LogLine(state, FormatPeriodLine(state.forever(), results.iteration, counts, results.cpm, scale,
                                  results.mean_cpm));
  if (state.logconfidence) LogLine(state, FormatConfidenceLine(counts, results.factor));
  ReportDose(state, dose);
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
