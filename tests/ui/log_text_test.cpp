// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/log_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/report.h"

namespace {

std::string PeriodLine(int i) {
  return FormatPeriodLine(false, static_cast<uint32_t>(i), 40 + i % 17, 2400.0 + i % 17 * 60, 600.0,
                          2712.5);
}

TEST(LogText, KeepsEveryLineWhateverItsLength) {
  LogText text;
  std::vector<std::string> lines;
  // Short and empty lines by the thousand fill many blocks; a line just too long for a block
  // and one far longer get blocks of their own; a line that exactly fills what is left of a
  // block ends it.
  for (int i = 0; i < 5000; ++i) lines.push_back(i % 7 == 0 ? std::string() : PeriodLine(i));
  lines.push_back(std::string(LogText::kBlockBytes - 1, 'x'));
  lines.push_back("after the long line");
  lines.push_back(std::string(3 * LogText::kBlockBytes, 'y'));
  lines.push_back(std::string(LogText::kBlockBytes - 2, 'z'));
  for (int i = 0; i < 3000; ++i) lines.push_back(PeriodLine(i));
  for (const std::string& line : lines) text.Append(line);
  ASSERT_EQ(text.size(), lines.size());
  for (size_t row = 0; row < lines.size(); ++row) {
    ASSERT_EQ(text.Line(row), lines[row]) << "row " << row;
  }
  EXPECT_TRUE(text.Line(lines.size()).empty());
  text.Clear();
  EXPECT_EQ(text.size(), 0u);
  text.Append("again");
  EXPECT_EQ(text.Line(0), "again");
}

}  // namespace
