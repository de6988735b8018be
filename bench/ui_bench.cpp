// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// The log list of the main window under a long run, in the window's own list widget (built from
// the main window's template and shown). Run with QT_QPA_PLATFORM=offscreen (the default here):
// build/release/bench/ui_bench
//
// BM_LogPerPeriod/lines: what a period costs the GUI thread once the log holds that many lines:
// two lines added (the period line and the confidence line), then one turn of the event loop, in
// which the list scrolls to the newest line and paints. The cost must not grow with the log.
//
// BM_LogLines/lines: that many lines added one after the other, each scrolled into view, then one
// turn of the event loop. Counters: s_per_line (CPU time), and bytes_per_line, the growth of the
// resident set while they were added (run each size in a process of its own, --benchmark_filter,
// for an honest memory figure; the first iteration of a fresh process is the one that counts). The
// baseline, BM_BaselineVectorOfStrings, keeps the same lines in a std::vector<std::string>
// without any view.
#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/report.h"
#include "ui/dialog_builder.h"
#include "ui/dialog_template.h"
#include "ui/log_model.h"

namespace {

double ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long pages_total = 0, pages_resident = 0;
  statm >> pages_total >> pages_resident;
  return static_cast<double>(pages_resident) * 4096.0;
}

// A period line as the log holds it during a long forever run.
std::string PeriodLine(int64_t i) {
  return FormatPeriodLine(true, static_cast<uint32_t>(i), 40 + static_cast<int>(i % 17),
                          2400.0 + static_cast<double>(i % 17) * 60, 600.0, 2712.5);
}

// The counters of a run that added `lines` lines and grew the resident set by `extra` bytes:
// bytes a line, and CPU seconds a line, shown with an SI prefix ("750n" is 750 ns).
void CountPerLine(benchmark::State& state, int64_t lines, double extra) {
  state.counters["bytes_per_line"] = extra / static_cast<double>(lines);
  state.counters["s_per_line"] =
      benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

// Run in a process of its own per size (see above).
#define LINE_COUNTS Arg(1'000'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->Iterations(1)

// The main window's controls with the log list shown over `model`.
struct ShownLog {
  explicit ShownLog(LogModel& model) {
    built = BuildDialog(window, MainWindowTemplate());
    view = built.Get<QAbstractItemView>(kLogList);
    view->setModel(&model);
    window.show();
    QApplication::processEvents();
    control = std::make_unique<LogListControl>(view, &model);
  }
  QDialog window;
  BuiltDialog built;
  QAbstractItemView* view = nullptr;
  std::unique_ptr<LogListControl> control;
};

void BM_LogPerPeriod(benchmark::State& state) {
  const int64_t lines = state.range(0);
  LogModel model;
  for (int64_t i = 0; i < lines; ++i) model.Append(PeriodLine(i));
  ShownLog log(model);
  int64_t next = lines;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    log.control->AddLine(PeriodLine(next++));
    log.control->AddLine(FormatConfidenceLine(40, 60.0));
    QApplication::processEvents();
  }
  benchmark::DoNotOptimize(log.control->LineCount());
}
BENCHMARK(BM_LogPerPeriod)->Arg(10)->Arg(100'000)->Arg(10'000'000)->Unit(benchmark::kMicrosecond);

void BM_LogLines(benchmark::State& state) {
  const int64_t lines = state.range(0);
  double extra = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    state.PauseTiming();
    auto model = std::make_unique<LogModel>();
    auto log = std::make_unique<ShownLog>(*model);
    const double before = ResidentBytes();
    state.ResumeTiming();
    for (int64_t i = 0; i < lines; ++i) log->control->AddLine(PeriodLine(i));
    QApplication::processEvents();  // the view catches up and paints the last lines
    state.PauseTiming();
    extra = std::max(extra, ResidentBytes() - before);
    benchmark::DoNotOptimize(log->control->LineCount());
    log.reset();
    model.reset();
    state.ResumeTiming();
  }
  CountPerLine(state, lines, extra);
}
BENCHMARK(BM_LogLines)->LINE_COUNTS;

void BM_BaselineVectorOfStrings(benchmark::State& state) {
  const int64_t lines = state.range(0);
  double extra = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    const double before = ResidentBytes();
    std::vector<std::string> kept;
    for (int64_t i = 0; i < lines; ++i) kept.push_back(PeriodLine(i));
    extra = std::max(extra, ResidentBytes() - before);
    benchmark::DoNotOptimize(kept.data());
  }
  CountPerLine(state, lines, extra);
}
BENCHMARK(BM_BaselineVectorOfStrings)->LINE_COUNTS;

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
