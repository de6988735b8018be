// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "record/time_text.h"

#include <charconv>
#include <chrono>
#include <cstdio>

namespace {

constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kMsPerDay = 86400 * kMsPerSecond;

// Reads exactly `digits` decimal digits at `at`, moving past them.
std::optional<int> Digits(std::string_view text, size_t& at, size_t digits) {
  if (at + digits > text.size()) return std::nullopt;
  int value = 0;
  for (size_t i = 0; i < digits; ++i) {
    const char c = text[at + i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  at += digits;
  return value;
}

bool Take(std::string_view text, size_t& at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

std::optional<int64_t> ParseRelative(std::string_view text, int64_t now_ms) {
  if (text.size() < 3 || text[0] != '-') return std::nullopt;
  int64_t unit_ms = 0;
  switch (text.back()) {
    case 's':
      unit_ms = kMsPerSecond;
      break;
    case 'm':
      unit_ms = 60 * kMsPerSecond;
      break;
    case 'h':
      unit_ms = 3600 * kMsPerSecond;
      break;
    case 'd':
      unit_ms = kMsPerDay;
      break;
    case 'w':
      unit_ms = 7 * kMsPerDay;
      break;
    default:
      return std::nullopt;
  }
  const std::string_view number = text.substr(1, text.size() - 2);
  uint32_t count = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), count);
  if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
  // 2^32 weeks is far less than the range of the milliseconds.
  return now_ms - int64_t{count} * unit_ms;
}

// The zone at the end of an ISO 8601 time, as an offset east of UTC in minutes.
std::optional<int> ParseZone(std::string_view text, size_t& at) {
  if (at == text.size()) return 0;
  if (text[at] == 'Z' || text[at] == 'z') {
    ++at;
    return 0;
  }
  if (text[at] != '+' && text[at] != '-') return std::nullopt;
  const int sign = text[at] == '-' ? -1 : 1;
  ++at;
  const std::optional<int> hours = Digits(text, at, 2);
  if (!hours || *hours > 23) return std::nullopt;
  int minutes = 0;
  if (at < text.size()) {
    Take(text, at, ':');
    const std::optional<int> zone_minutes = Digits(text, at, 2);
    if (!zone_minutes || *zone_minutes > 59) return std::nullopt;
    minutes = *zone_minutes;
  }
  return sign * (*hours * 60 + minutes);
}

std::optional<int64_t> ParseIso(std::string_view text) {
  using namespace std::chrono;
  size_t at = 0;
  const std::optional<int> y = Digits(text, at, 4);
  if (!y || !Take(text, at, '-')) return std::nullopt;
  const std::optional<int> mo = Digits(text, at, 2);
  if (!mo || !Take(text, at, '-')) return std::nullopt;
  const std::optional<int> d = Digits(text, at, 2);
  if (!d) return std::nullopt;
  const year_month_day date{year{*y}, month{static_cast<unsigned>(*mo)},
                            day{static_cast<unsigned>(*d)}};
  if (!date.ok()) return std::nullopt;

  int hours = 0, minutes = 0, seconds = 0, ms = 0;
  if (at < text.size() && (text[at] == 'T' || text[at] == 't' || text[at] == ' ')) {
    ++at;
    const std::optional<int> h = Digits(text, at, 2);
    if (!h || *h > 23 || !Take(text, at, ':')) return std::nullopt;
    const std::optional<int> mi = Digits(text, at, 2);
    if (!mi || *mi > 59) return std::nullopt;
    hours = *h;
    minutes = *mi;
    if (Take(text, at, ':')) {
      const std::optional<int> s = Digits(text, at, 2);
      if (!s || *s > 59) return std::nullopt;
      seconds = *s;
      if (Take(text, at, '.') || Take(text, at, ',')) {
        // Milliseconds: the first three digits count, further ones are passed over.
        size_t digits = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
          if (digits < 3) ms = ms * 10 + (text[at] - '0');
        }
        if (digits == 0) return std::nullopt;
        for (; digits < 3; ++digits) ms *= 10;
      }
    }
  }
  const std::optional<int> zone_minutes = ParseZone(text, at);
  if (!zone_minutes || at != text.size()) return std::nullopt;
  const int64_t days = sys_days(date).time_since_epoch().count();
  return days * kMsPerDay + ((hours * 60 + minutes - *zone_minutes) * 60 + seconds) * kMsPerSecond +
         ms;
}

}  // namespace

void AppendUtcMs(std::string& out, int64_t ms) {
  using namespace std::chrono;
  const sys_time<milliseconds> when{milliseconds{ms}};
  const sys_days day_start = floor<days>(when);
  const year_month_day date{day_start};
  const hh_mm_ss time{when - day_start};
  char text[40];
  const int length = std::snprintf(
      text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
      static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
  out.append(text, static_cast<size_t>(length));
}

std::string FormatUtcMs(int64_t ms) {
  std::string text;
  AppendUtcMs(text, ms);
  return text;
}

std::optional<int64_t> ParseTimeText(std::string_view text, int64_t now_ms) {
  if (text == "now") return now_ms;
  if (!text.empty() && text[0] == '-') return ParseRelative(text, now_ms);
  return ParseIso(text);
}
