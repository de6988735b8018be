// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// Runs one-second periods through the real PortAudio device, fed by ALSA's file plugin with a
// known click train, and checks every period's count. The file plugin delivers as fast as it is
// read, so the time this takes is the capture's cost, not waiting: run it under /usr/bin/time.
//
//   capture_soak [periods=600] [file_seconds=20000]
//
// What arrives while the owner works between two periods is dropped, and the plugin runs
// through a few hundred thousand frames in that time, so the file holds far more than the run
// records (past its end ALSA hands out stale frames, which would count wrong).

#include <stdlib.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "capture_rig.h"
#include "click_signal.h"

// Every operator new of the program, to show what the run allocates per period. These are the
// replaceable allocation functions themselves, so pairing them with malloc and free is right.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
std::atomic<uint64_t> g_allocations{0};

void* operator new(size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const uint32_t periods = argc > 1 ? static_cast<uint32_t>(std::stoul(argv[1])) : 600;
  const uint32_t file_seconds = argc > 2 ? static_cast<uint32_t>(std::stoul(argv[2])) : 20000;
  constexpr uint32_t kClicks = 9;

  TempDir dir;
  const std::string config =
      WriteFileCaptureConfig(dir.path(), MonoClicks(11025, kClicks), file_seconds);
  setenv("ALSA_CONFIG_PATH", config.c_str(), 1);

  RealCaptureRig rig;
  rig.fields.values.repeat = periods;
  rig.state.logconfidence = 0;
  const double cpu_before = CpuSeconds();
  uint64_t allocations_before = 0;
  const auto begin = std::chrono::steady_clock::now();
  rig.controller->OnStart();
  allocations_before = g_allocations.load();
  if (!rig.controller->capturing()) {
    for (const std::string& line : rig.window.log.lines) std::fprintf(stderr, "%s\n", line.c_str());
    return 2;
  }
  const bool done = rig.RunUntilDone(std::chrono::seconds(600));
  const uint64_t allocations = g_allocations.load() - allocations_before;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  rig.controller->StopAndClose();
  const double cpu = CpuSeconds() - cpu_before;

  uint32_t wrong = 0;
  uint32_t index = 0;
  for (uint32_t counts : rig.state.history.First(rig.state.iteration)) {
    ++index;
    if (counts != kClicks && counts != kClicks - 1) {
      if (++wrong <= 10) std::printf("period %u counted %u\n", index, counts);
    }
  }
  std::printf("%llu operator-new allocations while the periods ran (%.2f per period)\n",
              static_cast<unsigned long long>(allocations),
              periods > 0 ? static_cast<double>(allocations) / periods : 0.0);
  std::printf(
      "periods %u of %u, %u with a wrong count, %.3f s wall, %.3f s CPU in the run "
      "(%.2f ms per second of audio)\n",
      rig.state.iteration, periods, wrong, wall, cpu, periods > 0 ? cpu * 1000.0 / periods : 0.0);
  return done && wrong == 0 && rig.state.iteration == periods ? 0 : 1;
}
