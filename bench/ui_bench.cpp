// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// The log list under a long run: a million lines appended one by one, each scrolled into view,
// as LogLine does after every period. Run with QT_QPA_PLATFORM=offscreen.
//
// Counters: lines_per_s, and extra_MB, the growth of the resident set while the lines were added
// (the limit is 200 MB for 1,000,000 lines, and 2 s); run each benchmark in a process of its own
// (--benchmark_filter) for an honest memory figure. The baseline appends the same lines to a
// std::vector<std::string> without any view.
#include <QApplication>
#include <QListView>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "core/report.h"
#include "ui/log_model.h"

namespace {

constexpr int kLines = 1'000'000;

double ResidentMegabytes() {
  std::ifstream statm("/proc/self/statm");
  long pages_total = 0, pages_resident = 0;
  statm >> pages_total >> pages_resident;
  return pages_resident * 4096.0 / (1024.0 * 1024.0);
}

// A period line as the log holds it during a long forever run.
std::string PeriodLine(int i) {
  return FormatPeriodLine(true, static_cast<uint32_t>(i), 40 + i % 17, 2400.0 + i % 17 * 60, 600.0,
                          2712.5);
}

void BM_LogListMillionLines(benchmark::State& state) {
  double extra = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    state.PauseTiming();
    auto model = std::make_unique<LogModel>();
    auto view = std::make_unique<QListView>();
    view->setUniformItemSizes(true);
    view->resize(560, 120);
    view->setModel(model.get());
    view->show();
    QApplication::processEvents();
    LogListControl log(view.get(), model.get());
    const double before = ResidentMegabytes();
    state.ResumeTiming();
    for (int i = 0; i < kLines; ++i) log.AddLine(PeriodLine(i));
    QApplication::processEvents();  // the view catches up and paints the last lines
    state.PauseTiming();
    // The first iteration of a fresh process is the honest one: later ones reuse freed pages.
    extra = std::max(extra, ResidentMegabytes() - before);
    benchmark::DoNotOptimize(log.LineCount());
    view.reset();
    model.reset();
    state.ResumeTiming();
  }
  state.counters["extra_MB"] = extra;
  state.counters["lines_per_s"] = benchmark::Counter(
      static_cast<double>(kLines) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LogListMillionLines)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_BaselineVectorOfStrings(benchmark::State& state) {
  double extra = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    const double before = ResidentMegabytes();
    std::vector<std::string> lines;
    for (int i = 0; i < kLines; ++i) lines.push_back(PeriodLine(i));
    extra = std::max(extra, ResidentMegabytes() - before);
    benchmark::DoNotOptimize(lines.data());
  }
  state.counters["extra_MB"] = extra;
  state.counters["lines_per_s"] = benchmark::Counter(
      static_cast<double>(kLines) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BaselineVectorOfStrings)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
