// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// One drawing pass of the activity graph in a 1000 x 400 window, bars, fill and lines all on:
// the layout alone (LayOutGraph) and the layout painted into the off-screen RGB32 picture
// (PaintGraph), over a history of 1,000,000 entries (the limit: a pass under 10 ms) and over
// one of 10 entries (the baseline: what a pass costs when there is almost nothing to group).
// Run with QT_QPA_PLATFORM=offscreen: build/release/bench/graph_bench
//
// Counter: limit_share, the wall time of one pass as a share of the 10 ms limit (below 1: met).
#include <QApplication>
#include <QFontDatabase>
#include <QImage>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

#include "graph/graph_dialog.h"
#include "graph/graph_layout.h"

namespace {

constexpr int kWidth = 1000;
constexpr int kHeight = 400;
constexpr double kLimitSeconds = 0.010;

// Counts of a meter near background: a few dozen per period, with now and then a burst.
const std::vector<uint32_t>& History(size_t entries) {
  static std::vector<uint32_t> history;
  history.resize(entries);
  std::mt19937 random(11);
  std::poisson_distribution<uint32_t> background(30.0);
  for (size_t i = 0; i < entries; ++i) {
    history[i] = background(random) + (i % 9973 == 0 ? 200 : 0);
  }
  return history;
}

GraphInput Input(const std::vector<uint32_t>& history) {
  GraphInput input;
  input.history = history;
  input.iteration = static_cast<uint32_t>(history.size());
  input.repeat = static_cast<uint32_t>(history.size());
  input.scrollwidth = 60;
  input.sampletime = 1;
  input.connectpoints = true;
  input.verticalbars = true;
  input.fillgraph = true;
  input.width = kWidth;
  input.height = kHeight;
  return input;
}

// Wall time per pass over the 10 ms limit (the screen waits for the pass, whatever the CPU did).
void ReportShareOfLimit(benchmark::State& state, std::chrono::steady_clock::duration spent) {
  const double seconds = std::chrono::duration<double>(spent).count();
  state.counters["limit_share"] =
      seconds / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1)) /
      kLimitSeconds;
}

void BM_LayOut(benchmark::State& state) {
  const GraphInput input = Input(History(static_cast<size_t>(state.range(0))));
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    GraphPicture picture = LayOutGraph(input);
    benchmark::DoNotOptimize(picture.steps.data());
  }
  ReportShareOfLimit(state, std::chrono::steady_clock::now() - start);
}

void BM_LayOutAndPaint(benchmark::State& state) {
  const GraphInput input = Input(History(static_cast<size_t>(state.range(0))));
  const QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    const GraphPicture picture = LayOutGraph(input);
    PaintGraph(picture, font, image);
    benchmark::DoNotOptimize(image.constBits());
  }
  ReportShareOfLimit(state, std::chrono::steady_clock::now() - start);
}

BENCHMARK(BM_LayOut)->Arg(1'000'000)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayOutAndPaint)->Arg(1'000'000)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
