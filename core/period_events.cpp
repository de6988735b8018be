// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/period_events.h"

#include <chrono>

int64_t UtcNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void TellRunStart(const CounterState& state, PeriodFormat format) {
  if (state.period_listeners.empty()) return;
  RunReport run;
  // The first period's buffer was queued a moment ago; the run starts with it.
  run.start_ms = state.period_start_ms != 0 ? state.period_start_ms : UtcNowMs();
  run.sampletime = format.seconds;
  {
    std::lock_guard lock(state.shared_mutex);
    run.repeat = state.repeat;
  }
  run.forever = run.repeat == FOREVER_REPEAT;
  run.coincidence = format.two_channels;
  run.samplerate = state.samplerate;
  run.scrollwidth = state.scrollwidth;
  run.threshold = state.threshold;
  run.scale = state.scale;
  run.timingticksperminute = state.timingticksperminute;
  run.source = state.period_source;
  for (PeriodListener* listener : state.period_listeners) listener->OnRunStart(run);
}

void TellRunEnd(const CounterState& state, RunEnd how) {
  if (state.period_listeners.empty()) return;
  const int64_t now = UtcNowMs();
  for (PeriodListener* listener : state.period_listeners) listener->OnRunEnd(now, how);
}

void TellNotes(const CounterState& state, const std::string& text) {
  if (state.period_listeners.empty()) return;
  const int64_t now = UtcNowMs();
  for (PeriodListener* listener : state.period_listeners) listener->OnNotes(now, text);
}
