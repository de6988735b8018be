// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/controls.h"
#include "core/dose.h"
#include "core/history.h"
#include "core/owner_thread.h"
#include "core/period.h"
#include "core/zeroed_block.h"

// `repeat` with this value samples until the run is cancelled.
inline constexpr uint32_t FOREVER_REPEAT = 999999999;

inline constexpr const char kBanner[] =
    "Blipcount Pulse Logger  v 0.83  by the Blipcount developers";

// The one record of every setting and of the run-time measurement state.
//
// Threads: the owner (GUI) thread makes every write. The status server thread reads
// `history`, `iteration`, `repeat`, `sampletime`, `current_cpm` and `average_counts` under
// `shared_mutex`, so every owner-thread write of those six fields takes it too; the server's
// only write, `average_counts`, is made under it as well, which is why nobody reads that field
// without the mutex. `server_running` is atomic.
struct CounterState {
  // Settings, in the order the record keeps them.
  std::string banner = kBanner;
  uint32_t threshold = 100;
  float scale = 600.0f;
  uint32_t sampletime = 1;
  uint32_t repeat = 10;
  uint32_t webport = 700;
  uint32_t scrollwidth = 60;
  std::string bmp_file_name = "blipcount.bmp";
  std::string jpg_file_name = "blipcount.jpg";
  std::string graphtitle = "   Counts Per Minute   ";
  uint32_t samplerate = 11025;
  std::string ini_file_name = "blipcount.ini";
  uint8_t connectpoints = 1;
  uint8_t logconfidence = 1;
  uint32_t timingticksperminute = 0;
  int32_t autostart = 0;
  uint8_t verticalbars = 0;
  uint8_t fillgraph = 0;
  uint8_t savegraph = 0;
  int32_t coincidence = 0;  // only the low byte counts
  // The settings of blipcount.conf, read once at start-up.
  Config config;

  // Run-time state.
  MainControls controls;
  double current_cpm = 0.0;
  uint32_t average_counts = 0;
  RepaintTarget* graphdlg = nullptr;
  // The latest period's dose, the accumulated doses and the alarm; written under
  // `shared_mutex`, so that the outputs on other threads may read them under it.
  DoseState dose;
  std::optional<std::string> started;  // TimeStamp of the last successful Start, no newline
  CountHistory history;
  uint32_t iteration = 0;
  std::atomic<bool> server_running{false};
  ZeroedBlock sample_buffer;
  bool graph_open = false;
  float graph_full_scale = 0.0f;
  std::string notes;
  bool notes_open = false;
  // Where the period being counted comes from: empty for the line input, the file's name while
  // Read File counts.
  std::string period_source;
  // When the capture queued the buffer of the period being counted (UTC ms; 0: not known, the
  // period is taken to have ended as it is reported).
  int64_t period_start_ms = 0;
  // Told of every finished period (owner thread); not owned.
  std::vector<PeriodListener*> period_listeners;

  // Where code on other threads posts its window work (log lines); null runs it directly.
  OwnerThread* owner = nullptr;
  // Largest block the history or a sample buffer may take; tests lower it to refuse one.
  uint64_t allocation_limit = UINT64_MAX;

  mutable std::mutex shared_mutex;

  bool forever() const { return repeat == FOREVER_REPEAT; }
  bool coincidence_on() const { return (coincidence & 0xFF) != 0; }
};

// Integer mean of the first n entries (those that exist): the sum in unsigned 32-bit
// arithmetic, divided with the remainder dropped; 0 when there are none.
uint32_t MeanCounts(const CountHistory& history, uint64_t n);

// Sum of the first n entries (those that exist), in 64 bits: the counts that their mean is made
// of.
uint64_t SumCounts(const CountHistory& history, uint64_t n);

// Largest of the first n entries (those that exist); 0 when there are none.
uint32_t MaxCounts(const CountHistory& history, uint64_t n);

// The local time as "Www Mmm DD hh:mm:ss YYYY\n" (25 characters, English names, day zero-padded).
std::string TimeStamp();
std::string TimeStamp(std::time_t when);

// `sampletime` as a divisor: a period of 0 seconds is taken as 1 so that no rate divides by 0.
inline uint32_t DivisorSeconds(uint32_t seconds) { return seconds == 0 ? 1 : seconds; }
