// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "files/data_file.h"

#include <cmath>
#include <mutex>
#include <span>

#include "core/report.h"
#include "core/text_format.h"
#include "files/atomic_file.h"

namespace {

constexpr double kBarWidth = 70.0;

// The bar of one period: every tenth character a plus sign, as many characters as there are
// whole numbers below counts x factor. With every entry 0 the factor is infinite and the
// product undefined, which gives no bar.
void AppendBar(std::string& text, uint32_t counts, double factor) {
  const double length = counts * factor;
  if (!(length > 0.0)) return;
  const size_t chars = static_cast<size_t>(std::ceil(length));
  for (size_t j = 0; j < chars; ++j) text += (j % 10 == 9) ? '+' : '-';
}

}  // namespace

std::string FormatDataHeader(const CounterState& state, uint32_t average_counts) {
  const uint32_t seconds = DivisorSeconds(state.sampletime);
  std::string text = StringPrintf("%s\n", state.banner.c_str());
  text += StringPrintf("Sampling started: %s\n", state.started ? state.started->c_str() : "(null)");
  text += StringPrintf("%d seconds per sample\n", static_cast<int32_t>(state.sampletime));
  text += StringPrintf("%d samples of %d\n", static_cast<int32_t>(state.iteration),
                       static_cast<int32_t>(state.repeat));
  text += StringPrintf("threshold = %d\n", static_cast<int32_t>(state.threshold));
  text += StringPrintf("current_average = %d cpm\n",
                       static_cast<int32_t>(average_counts * 60u / seconds));
  double current_cpm = 0.0;
  {
    std::lock_guard lock(state.shared_mutex);
    current_cpm = state.current_cpm;
  }
  text += StringPrintf("current_cpm = %.0f\n", current_cpm);
  if (state.timingticksperminute != 0) {
    text += StringPrintf("subtracting %d ticks/min\n",
                         static_cast<int32_t>(state.timingticksperminute));
  }
  text += "\n";
  return text;
}

std::string FormatDataValues(const CounterState& state, bool insert_commas, bool text_graph) {
  // A period of 0 seconds (never stored by the windows) is shown as if it were one second.
  const uint32_t seconds = DivisorSeconds(state.sampletime);
  std::span<const uint32_t> entries = state.history.First(state.iteration);
  const double factor = kBarWidth / MaxCounts(state.history, state.iteration);
  std::string text;
  for (size_t i = 0; i < entries.size(); ++i) {
    const auto cpm = static_cast<int32_t>(entries[i] * 60u / seconds);
    if (insert_commas) {
      text += StringPrintf("%5d, ", cpm);
      if (i % 10 == 9) text += "\n";
    } else {
      text += StringPrintf("%-4d %5d ", static_cast<int>(i), cpm);
      if (text_graph) AppendBar(text, entries[i], factor);
      text += "\n";
    }
  }
  return text;
}

void WriteNotes(CounterState& state, std::string& file_text) {
  LogLine(state, state.notes);
  file_text += "---------- Notes ----------\n";
  file_text += state.notes + "\n";
  file_text += "---------------------------\n";
}

void SaveDataFile(CounterState& state, const std::string& path, bool insert_commas, bool text_graph,
                  const std::function<std::string()>& editor_text) {
  const uint32_t mean = MeanCounts(state.history, state.iteration);
  {
    std::lock_guard lock(state.shared_mutex);
    state.average_counts = mean;
  }

  AtomicFile file = AtomicFile::Create(path, AtomicFile::Durability::kSynced);
  if (!file.is_open()) {
    LogLine(state, "Problem opening file to write.");
    return;
  }

  std::string text = FormatDataHeader(state, mean);
  if (state.notes_open) {
    if (editor_text) state.notes = editor_text();
    WriteNotes(state, text);
    LogLine(state, "Added notes.");
  }
  text += FormatDataValues(state, insert_commas, text_graph);
  file.Write(text);
  // The old file, if any, is still whole: only the new one was lost.
  if (!file.Commit()) LogLine(state, "Problem writing file.");
}
