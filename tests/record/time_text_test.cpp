// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "record/time_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

constexpr int64_t kNow = 1772366400000;  // 2026-03-01T12:00:00Z

struct TimeCase {
  const char* text;
  std::optional<int64_t> ms;
};

TEST(TimeText, ReadsIsoAndRelativeTimes) {
  const TimeCase cases[] = {
      {"2026-03-01T12:00:00Z", kNow},
      {"2026-03-01T12:00:00", kNow},  // no zone: UTC
      {"2026-03-01 12:00", kNow},
      {"2026-03-01t12:00:00.5z", kNow + 500},
      {"2026-03-01T12:00:00.123456Z", kNow + 123},
      {"2026-03-01T13:30:00+01:30", kNow},
      {"2026-03-01T07:00:00-0500", kNow},
      {"2026-03-01T14:00+02", kNow},
      {"2026-03-01", kNow - 12 * 3600000},
      {"2024-02-29", 1709164800000},  // a leap day
      {"1970-01-01T00:00:00Z", 0},
      {"1969-12-31T23:59:59.999Z", -1},
      {"now", kNow},
      {"-90s", kNow - 90000},
      {"-30m", kNow - 1800000},
      {"-24h", kNow - 86400000},
      {"-7d", kNow - 7 * 86400000},
      {"-2w", kNow - 14 * 86400000},
      {"-0h", kNow},
      // Not times.
      {"", std::nullopt},
      {"yesterday", std::nullopt},
      {"2026-02-29", std::nullopt},
      {"2026-13-01", std::nullopt},
      {"2026-03-01T24:00", std::nullopt},
      {"2026-03-01T12:60", std::nullopt},
      {"2026-03-01T12", std::nullopt},
      {"2026-03-01T12:00:00.", std::nullopt},
      {"2026-03-01T12:00:00+25:00", std::nullopt},
      {"2026-03-01T12:00:00Zjunk", std::nullopt},
      {"2026-3-1", std::nullopt},
      {"-24", std::nullopt},
      {"-h", std::nullopt},
      {"-1.5h", std::nullopt},
      {"-24y", std::nullopt},
      {"24h", std::nullopt},
      {"--24h", std::nullopt},
  };
  for (const TimeCase& c : cases) {
    EXPECT_EQ(ParseTimeText(c.text, kNow), c.ms) << '"' << c.text << '"';
  }
}

TEST(TimeText, WritesIsoUtcWithMillisecondsThatReadsBack) {
  for (const int64_t ms :
       {int64_t{0}, int64_t{-1}, kNow + 7, int64_t{1709251199999}, int64_t{253402300799999}}) {
    const std::string text = FormatUtcMs(ms);
    EXPECT_EQ(ParseTimeText(text, 0), ms) << text;
  }
  EXPECT_EQ(FormatUtcMs(kNow + 7), "2026-03-01T12:00:00.007Z");
  EXPECT_EQ(FormatUtcMs(-1), "1969-12-31T23:59:59.999Z");
  EXPECT_EQ(FormatUtcMs(1709251199999), "2024-02-29T23:59:59.999Z");
}

}  // namespace
