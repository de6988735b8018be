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

void ReportResults(CounterState& state, int32_t counts, uint32_t sampletime) {
  const double factor = 60.0 / DivisorSeconds(sampletime);
  const double scale = state.scale;
  const MainControls& window = state.controls;

  const uint64_t n = state.forever() ? state.scrollwidth : state.iteration;
  const uint32_t mean = MeanCounts(state.history, n);
  // The CPM shown everywhere is the dead-time corrected one; with the correction off (the
  // default) it is the measured one, so every text stays as it was.
  const PeriodDose dose = MeasureDose(counts, sampletime, mean, SumCounts(state.history, n), scale,
                                      state.config.dead_time_us);

  SetField(window.counts_field, StringPrintf("%d", counts));
  const double cpm = dose.cpm;
  SetField(window.cpm_field, FormatRate(0, cpm, dose.saturated));
  SetField(window.mrhr_field, FormatRate(3, cpm / scale, dose.saturated));

  {
    std::lock_guard lock(state.shared_mutex);
    state.current_cpm = cpm;
    state.average_counts = mean;
  }
  const double mean_cpm = dose.average_cpm;
  SetField(window.avg_cpm_field, FormatRate(1, mean_cpm, dose.average_saturated));
  SetField(window.avg_mrhr_field, FormatRate(3, mean_cpm / scale, dose.average_saturated));

  LogLine(state, FormatPeriodLine(state.forever(), state.iteration, counts, cpm, scale, mean_cpm));
  if (state.logconfidence) LogLine(state, FormatConfidenceLine(counts, factor));
  ReportDose(state, dose);
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
