// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/process.h"

#include <algorithm>

#include "core/detect.h"
#include "core/period_events.h"
#include "core/report.h"

namespace {

// The caller holds `state.shared_mutex`.
void StoreCounts(CounterState& state, uint32_t counts) {
  if (!state.history.present()) return;
  if (state.forever()) {
    // The window scrolls over the entries that exist; the newest goes last.
    state.history.Scroll(state.scrollwidth, counts);
    state.iteration = state.scrollwidth == 0 ? 0 : state.scrollwidth - 1;
  } else {
    // Past the end of a history that was replaced by a shorter one the store is skipped, but
    // the run still advances, so it ends after `repeat` periods as it should.
    state.history.Store(state.iteration, counts);
    ++state.iteration;
  }
}

void TellListeners(const CounterState& state, int32_t counts, PeriodFormat format,
                   const PeriodResults& results) {
  PeriodReport period;
  period.end_ms = UtcNowMs();
  period.start_ms = state.period_start_ms != 0 && state.period_start_ms <= period.end_ms
                        ? state.period_start_ms
                        : period.end_ms - int64_t{format.seconds} * 1000;
  period.seconds = format.seconds;
  period.counts = counts;
  {
    std::lock_guard lock(state.shared_mutex);
    const DoseState& dose = state.dose;
    period.raw_cpm = dose.latest.raw_cpm;
    period.saturated = dose.latest.saturated;
    period.average_usvh = dose.latest.average_usvh;
    period.dose_usv = state.period_source.empty() ? dose.latest.dose_usv : 0.0;
    period.dose_since_zero_usv = dose.since_zero_usv;
    period.dose_since_start_usv = dose.since_start_usv;
    period.alarm_on = dose.alarm.on();
    period.alarm_changed = dose.alarm_change != AlarmChange::kNone;
  }
  // The values the period was reported with (the status server may have stored its own
  // average in `average_counts` since).
  period.cpm = results.cpm;
  period.average_cpm = results.mean_cpm;
  period.iteration = results.iteration;
  period.scale = state.scale;
  period.mrhr = period.cpm / state.scale;
  period.usvh = period.mrhr * kMicroSievertPerHourPerMilliRoentgenPerHour;
  period.forever = state.forever();
  period.threshold = state.threshold;
  period.coincidence = format.two_channels;
  period.timingticksperminute = state.timingticksperminute;
  period.source = state.period_source;
  for (PeriodListener* listener : state.period_listeners) listener->OnPeriod(period);
}

}  // namespace

void ProcessSample(CounterState& state, PeriodFormat format) {
  const uint64_t wanted =
      uint64_t{format.seconds} * state.samplerate * (format.two_channels ? 2 : 1);
  const size_t length = static_cast<size_t>(std::min(wanted, state.sample_buffer.size()));
  const auto* samples = reinterpret_cast<const uint8_t*>(state.sample_buffer.data());

  ProcessCountedPeriod(state, format,
                       format.two_channels ? CountCoincidences(samples, length, state.threshold)
                                           : CountPulses(samples, length, state.threshold));
}

void ProcessCountedPeriod(CounterState& state, PeriodFormat format, int32_t detected) {
  int32_t counts = detected;
  const uint32_t ticks = (state.timingticksperminute * format.seconds) / 60;  // 32-bit product
  counts -= static_cast<int32_t>(ticks);
  if (counts < 0) {
    LogLine(state, "Counts went negative ---is Timing Ticks per Minute Option correct?");
    counts = 0;
  }

  // The period's entry, `iteration`, `current_cpm` and `average_counts` change in one step, so
  // the status server never sees the new history with the previous period's rate.
  PeriodResults results;
  {
    std::lock_guard lock(state.shared_mutex);
    StoreCounts(state, static_cast<uint32_t>(counts));
    results = RecordResults(state, counts, format.seconds);
  }
  ShowResults(state, counts, results);
  RepaintGraph(state);
  if (!state.period_listeners.empty()) TellListeners(state, counts, format, results);
  state.period_start_ms = 0;  // the next period's buffer is queued anew
}

void ProcessSample(CounterState& state) {
  ProcessSample(state, PeriodFormat{state.sampletime, state.coincidence_on()});
}
