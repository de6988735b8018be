// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// What the dose adds to a period's report, against what the report costs without it: the
// report with the dose-rate alarm and the dead-time correction on, and the two passes over the
// history that the averages take (the integer mean, and the total counts behind the
// uncertainty), for ten entries and for a million. Run: build/release/bench/dose_bench
#include <benchmark/benchmark.h>

#include <cstdint>

#include "core/counter_state.h"
#include "core/dose.h"
#include "core/report.h"

namespace {

CounterState& StateWith(uint64_t entries) {
  static CounterState state;
  if (state.history.size() != entries) {
    state.history = CountHistory::Allocate(entries);
    for (uint64_t i = 0; i < entries; ++i) state.history.Store(i, static_cast<uint32_t>(i % 17));
    state.iteration = static_cast<uint32_t>(entries);
    state.repeat = static_cast<uint32_t>(entries) + 1;
    state.logconfidence = 1;
    state.config.dead_time_us = 100;
    state.config.alarm_usvh = 1.0;
  }
  return state;
}

// The whole report of one period (without a window: the texts are made, nothing shows them).
void BM_ReportResults(benchmark::State& bench) {
  CounterState& state = StateWith(static_cast<uint64_t>(bench.range(0)));
  for (auto _ : bench) ReportResults(state, 9, 1);
}

// The pass the report made before the dose: the integer mean of the history.
void BM_MeanCounts(benchmark::State& bench) {
  CounterState& state = StateWith(static_cast<uint64_t>(bench.range(0)));
  for (auto _ : bench) benchmark::DoNotOptimize(MeanCounts(state.history, state.iteration));
}

// The pass the dose adds: the total counts behind the uncertainty.
void BM_SumCounts(benchmark::State& bench) {
  CounterState& state = StateWith(static_cast<uint64_t>(bench.range(0)));
  for (auto _ : bench) benchmark::DoNotOptimize(SumCounts(state.history, state.iteration));
}

// The dose arithmetic alone.
void BM_MeasureDose(benchmark::State& bench) {
  int32_t counts = 9;
  for (auto _ : bench) {
    benchmark::DoNotOptimize(counts);
    benchmark::DoNotOptimize(MeasureDose(counts, 1, 9, 90, 600.0, 100));
  }
}

BENCHMARK(BM_ReportResults)->Arg(10)->Arg(1000000);
BENCHMARK(BM_MeanCounts)->Arg(10)->Arg(1000000);
BENCHMARK(BM_SumCounts)->Arg(10)->Arg(1000000);
BENCHMARK(BM_MeasureDose);

}  // namespace

BENCHMARK_MAIN();
