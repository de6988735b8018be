// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// The status page for the largest history (999,999 entries, the largest scroll width) must be
// built in under 20 ms. Measured here with the snapshot under the mutex, against two baselines
// in the same run: the list formatted with one snprintf per entry, and a plain copy of as many
// bytes as the page has.
//
// Two helper modes serve the HTTP load measurement (scripts/measure_http.sh):
//   server_bench --serve PORT          a status server in this folder until SIGTERM or SIGINT
//   server_bench --bitmap FILE W H     writes a 24-bit BMP test picture for cjpeg
#include <benchmark/benchmark.h>
#include <signal.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/counter_state.h"
#include "core/owner_thread.h"
#include "server/http_server.h"
#include "server/status_page.h"

namespace {

constexpr uint32_t kLargestHistory = 999999;
constexpr double kLimitMs = 20.0;

// A forever run over the largest window, with counts like a survey meter's (0 to `top`).
void FillState(CounterState& state, uint32_t entries, uint32_t top) {
  state.repeat = FOREVER_REPEAT;
  state.scrollwidth = entries + 1;
  state.history = CountHistory::Allocate(entries);
  std::mt19937 random(7);
  std::uniform_int_distribution<uint32_t> counts(0, top);
  for (uint32_t i = 0; i < entries; ++i) state.history.Store(i, counts(random));
  state.iteration = entries;
}

void Page(benchmark::State& bench, uint32_t top) {
  CounterState state;
  FillState(state, static_cast<uint32_t>(bench.range(0)), top);
  StatusSnapshot snapshot;
  std::string page;
  for (auto _ : bench) {
    TakeStatusSnapshot(state, snapshot);
    snapshot.time_stamp = TimeStamp();
    benchmark::DoNotOptimize(BuildStatusPage(page, snapshot));
  }
  bench.counters["page_bytes"] = static_cast<double>(page.size());
  bench.counters["limit_ms"] = kLimitMs;
  bench.SetBytesProcessed(static_cast<int64_t>(bench.iterations() * page.size()));
}

// Counts of up to four digits, as a survey meter gives them per period.
void BM_StatusPage(benchmark::State& bench) { Page(bench, 2000); }
// Every count of ten digits: the slow path of the formatter for every entry.
void BM_StatusPageTenDigitCounts(benchmark::State& bench) { Page(bench, 2000000000); }

void BM_SnapshotUnderMutex(benchmark::State& bench) {
  CounterState state;
  FillState(state, static_cast<uint32_t>(bench.range(0)), 2000);
  StatusSnapshot snapshot;
  for (auto _ : bench) {
    TakeStatusSnapshot(state, snapshot);
    benchmark::DoNotOptimize(snapshot.history.data());
  }
}

// Baseline: the same list with one snprintf("%4d, ") per entry.
void BM_BaselineSnprintfList(benchmark::State& bench) {
  CounterState state;
  FillState(state, static_cast<uint32_t>(bench.range(0)), 2000);
  std::span<const uint32_t> counts = state.history.First(state.iteration);
  std::string list;
  for (auto _ : bench) {
    list.clear();
    char cell[16];
    for (size_t i = 0; i < counts.size(); ++i) {
      if (i % 10 == 0) list += "<br>\n";
      const int n = std::snprintf(cell, sizeof cell, "%4d, ", static_cast<int>(counts[i]));
      list.append(cell, static_cast<size_t>(n));
    }
    benchmark::DoNotOptimize(list.data());
  }
}

// Baseline: copying as many bytes as the page holds, the least any builder can cost.
void BM_BaselineCopyPageBytes(benchmark::State& bench) {
  CounterState state;
  FillState(state, static_cast<uint32_t>(bench.range(0)), 2000);
  StatusSnapshot snapshot;
  TakeStatusSnapshot(state, snapshot);
  std::string page;
  BuildStatusPage(page, snapshot);
  std::string copy(page.size(), '\0');
  for (auto _ : bench) {
    std::memcpy(copy.data(), page.data(), page.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_StatusPage)->Arg(10)->Arg(kLargestHistory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StatusPageTenDigitCounts)->Arg(kLargestHistory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SnapshotUnderMutex)->Arg(kLargestHistory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineSnprintfList)->Arg(kLargestHistory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineCopyPageBytes)->Arg(kLargestHistory)->Unit(benchmark::kMillisecond);

// A run of 100 periods of one second, 60 of them taken: the page a browser would see.
int Serve(int port) {
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);  // before the server thread starts

  CounterState state;
  TaskQueue owner;
  state.owner = &owner;
  state.repeat = 100;
  state.history = CountHistory::Allocate(100);
  std::mt19937 random(11);
  std::uniform_int_distribution<uint32_t> counts(20, 60);
  for (uint32_t i = 0; i < 60; ++i) state.history.Store(i, counts(random));
  state.iteration = 60;
  state.current_cpm = 40 * 60.0;

  StatusServer server(state, static_cast<uint16_t>(port));
  if (server.WaitListening(std::chrono::seconds(10)) == 0) {
    owner.RunPending();
    std::fprintf(stderr, "server_bench: the status server did not start on port %d\n", port);
    return 1;
  }
  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  return 0;
}

// A picture the size of a graph window: dark background, a green curve, a white frame.
int WriteBitmap(const char* file, int width, int height) {
  const uint32_t row_bytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t image_bytes = row_bytes * static_cast<uint32_t>(height);
  std::string bmp = "BM";
  auto put = [&bmp](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) bmp.push_back(static_cast<char>(value >> (8 * i)));
  };
  put(54 + image_bytes, 4);
  put(0, 4);
  put(54, 4);
  put(40, 4);
  put(static_cast<uint32_t>(width), 4);
  put(static_cast<uint32_t>(height), 4);
  put(1, 2);
  put(24, 2);
  for (uint32_t value : {0u, image_bytes, 2835u, 2835u, 0u, 0u}) put(value, 4);
  for (int y = 0; y < height; ++y) {
    std::string row;
    for (int x = 0; x < width; ++x) {
      const int curve = height / 2 + static_cast<int>((height / 3) * std::sin(x / 40.0));
      const bool frame = x == 0 || y == 0 || x == width - 1 || y == height - 1;
      const uint32_t rgb = frame ? 0xffffff : (std::abs(y - curve) < 2 ? 0x00c000 : 0x101010);
      row.push_back(static_cast<char>(rgb));
      row.push_back(static_cast<char>(rgb >> 8));
      row.push_back(static_cast<char>(rgb >> 16));
    }
    row.resize(row_bytes, '\0');
    bmp += row;
  }
  std::ofstream out(file, std::ios::binary);
  out << bmp;
  return out ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--serve") == 0) return Serve(std::atoi(argv[2]));
  if (argc == 5 && std::strcmp(argv[1], "--bitmap") == 0) {
    return WriteBitmap(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
