// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/counter_state.h"

#include <algorithm>
#include <ctime>

#include "core/text_format.h"

uint32_t MeanCounts(const CountHistory& history, uint64_t n) {
  // The divisor is the count asked for, as long as the history holds that many; a shorter
  // history is averaged over what it holds.
  const uint64_t entries = std::min(n, history.size());
  if (entries == 0) return 0;
  // The sum wraps like the 32-bit sum it stands for; a history holds fewer than 2^32 entries.
  return history.Sum(entries) / static_cast<uint32_t>(entries);
}

uint64_t SumCounts(const CountHistory& history, uint64_t n) { return history.TotalOf(n); }

uint32_t MaxCounts(const CountHistory& history, uint64_t n) {
  uint32_t largest = 0;
  for (uint32_t counts : history.First(n)) {
    if (counts > largest) largest = counts;
  }
  return largest;
}

std::string TimeStamp(std::time_t when) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm local{};
  localtime_r(&when, &local);
  return StringPrintf("%s %s %02d %02d:%02d:%02d %04d\n", kDays[local.tm_wday % 7],
                      kMonths[local.tm_mon % 12], local.tm_mday, local.tm_hour, local.tm_min,
                      local.tm_sec, local.tm_year + 1900);
}

std::string TimeStamp() { return TimeStamp(std::time(nullptr)); }
