// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "server/status_page.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/counter_state.h"

namespace {

constexpr const char kNow[] = "Fri Dec 11 10:00:00 2026\n";
constexpr const char kImgLine[] =
    "<img SRC=\"blipcount.jpg\" alt=\"You must enable Blipcount's Graphing option to see an "
    "activity graph here.\" > <br>\n";

void SetHistory(CounterState& state, const std::vector<uint32_t>& counts, uint64_t size) {
  state.history = CountHistory::Allocate(size);
  for (size_t i = 0; i < counts.size(); ++i) state.history.Store(i, counts[i]);
}

std::string Page(CounterState& state) {
  StatusSnapshot snapshot;
  TakeStatusSnapshot(state, snapshot);
  snapshot.time_stamp = kNow;
  std::string page;
  const size_t length = BuildStatusPage(page, snapshot);
  EXPECT_EQ(length, page.size());
  EXPECT_EQ(page.c_str()[length], '\0');
  return page;
}

std::string Head(int refresh) {
  std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html> \n";
  if (refresh >= 0) {
    head += "<META HTTP-EQUIV=\"REFRESH\" CONTENT=\"" + std::to_string(refresh) + "\" >  \n";
  }
  return head + kBanner + "<br>\nCurrent Time: " + kNow + "<br>\n----------------<br>\n";
}

TEST(BuildStatusPage, WorkedExampleByteForByte) {
  CounterState state;
  SetHistory(state, {5, 7, 12}, 10);
  state.iteration = 3;
  state.repeat = 10;
  state.sampletime = 1;
  state.current_cpm = 720.4;

  const std::string expected = Head(1) +
                               "Current CPM=720<br>\n"
                               "Ave=480 CPM <br>\n"
                               "Current iteration=3 of 10<br>\n"
                               "Sample time=1 secs<br>\n" +
                               kImgLine +
                               "<br>\n"
                               "<br>\n   5,    7,   12, "
                               "\n</html>\n";
  EXPECT_EQ(Page(state), expected);
  EXPECT_EQ(kPageHeader.size(), 44u);
  // The page leaves its average where the report would.
  std::lock_guard lock(state.shared_mutex);
  EXPECT_EQ(state.average_counts, 8u);
}

TEST(BuildStatusPage, BeforeAnyRun) {
  CounterState state;  // no history yet, the default repeat of 10
  const std::string expected = Head(1) +
                               "Current CPM=0<br>\n"
                               "Ave=0 CPM <br>\n"
                               "Current iteration=0 of 10<br>\n"
                               "Sample time=1 secs<br>\n" +
                               kImgLine + "<br>\n\n</html>\n";
  EXPECT_EQ(Page(state), expected);
}

TEST(BuildStatusPage, ForeverModeShowsTheWindowLessItsNewestEntry) {
  CounterState state;
  state.repeat = FOREVER_REPEAT;
  state.scrollwidth = 5;
  SetHistory(state, {0, 0, 0, 4, 9}, 5);
  state.iteration = 4;
  state.sampletime = 2;
  state.current_cpm = 270.0;
  const std::string expected = Head(2) +
                               "Current CPM=270<br>\n"
                               "Ave=30 CPM <br>\n"  // mean of 0, 0, 0, 4 is 1 count per 2 s
                               "Sampling forever.<br>\n"
                               "Sample time=2 secs<br>\n" +
                               kImgLine + "<br>\n<br>\n   0,    0,    0,    4, \n</html>\n";
  EXPECT_EQ(Page(state), expected);
}

TEST(BuildStatusPage, TenValuesPerLine) {
  CounterState state;
  std::vector<uint32_t> counts;
  for (uint32_t i = 0; i < 11; ++i) counts.push_back(i * 3);
  SetHistory(state, counts, 20);
  state.iteration = 11;
  state.repeat = 20;
  const std::string page = Page(state);
  const std::string list =
      kImgLine +
      std::string("<br>\n<br>\n   0,    3,    6,    9,   12,   15,   18,   21,   24,   27, ") +
      "<br>\n  30, \n</html>\n";
  ASSERT_GE(page.size(), list.size());
  EXPECT_EQ(page.substr(page.size() - list.size()), list);
}

TEST(BuildStatusPage, CountsOfEveryWidthFormatAsPercent4d) {
  CounterState state;
  const std::vector<uint32_t> counts = {0,     9,      10,         999,         9999,
                                        10000, 123456, 2147483647, 2147483648u, 4294967295u};
  SetHistory(state, counts, counts.size());
  state.iteration = static_cast<uint32_t>(counts.size());
  state.repeat = state.iteration;
  std::string expected = "<br>\n<br>\n";
  for (uint32_t counts_value : counts) {
    char cell[32];
    std::snprintf(cell, sizeof cell, "%4d, ", static_cast<int>(counts_value));
    expected += cell;
  }
  expected += "\n</html>\n";
  const std::string page = Page(state);
  ASSERT_GE(page.size(), expected.size());
  EXPECT_EQ(page.substr(page.size() - expected.size()), expected);
}

TEST(BuildStatusPage, AverageAndRateLines) {
  struct Case {
    double current_cpm;
    std::vector<uint32_t> counts;
    uint32_t sampletime;
    std::string cpm_line, average_line;
  };
  const std::vector<Case> cases = {
      {719.6, {8}, 7, "Current CPM=720<br>\n", "Ave=68 CPM <br>\n"},  // 480 / 7, remainder dropped
      {0.4, {8, 9}, 1, "Current CPM=0<br>\n", "Ave=480 CPM <br>\n"},
      // A period of 0 seconds divides by 1 rather than by zero.
      {60.0, {3}, 0, "Current CPM=60<br>\n", "Ave=180 CPM <br>\n"},
      // The CPM product wraps in 32 bits as the counts' arithmetic does.
      {0.0, {100000000}, 1, "Current CPM=0<br>\n", "Ave=1705032704 CPM <br>\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.average_line);
    CounterState state;
    SetHistory(state, c.counts, c.counts.size());
    state.iteration = static_cast<uint32_t>(c.counts.size());
    state.sampletime = c.sampletime;
    state.current_cpm = c.current_cpm;
    const std::string page = Page(state);
    EXPECT_NE(page.find("\n" + c.cpm_line + c.average_line), std::string::npos) << page;
  }
}

TEST(BuildStatusPage, NoRefreshOnceCancelledBeforeTheFirstPeriod) {
  CounterState state;
  state.repeat = 0;
  const std::string page = Page(state);
  EXPECT_EQ(page.find("<META"), std::string::npos);
  EXPECT_EQ(page.rfind(Head(-1), 0), 0u);
  EXPECT_NE(page.find("Current iteration=0 of 0<br>\n"), std::string::npos);
}

TEST(BuildStatusPage, ListIsBoundedByTheHistoryThatExists) {
  CounterState state;
  SetHistory(state, {1, 2}, 2);
  state.iteration = 5;  // a history replaced by a shorter one
  const std::string page = Page(state);
  EXPECT_NE(page.find("Current iteration=5 of 10"), std::string::npos);
  EXPECT_NE(page.find("<br>\n<br>\n   1,    2, \n</html>\n"), std::string::npos);
}

TEST(BuildStatusPage, LargestHistoryIsSentWhole) {
  constexpr uint32_t kEntries = 999999;
  CounterState state;
  state.history = CountHistory::Allocate(kEntries);
  for (uint32_t i = 0; i < kEntries; ++i) state.history.Store(i, i % 10000);
  state.iteration = kEntries;
  state.repeat = FOREVER_REPEAT;
  const std::string page = Page(state);
  // Six bytes per entry and one separator per ten entries, past the 4 MiB request buffer.
  const std::string tail = "\n</html>\n";
  // The picture line ends with a separator and piece 8 is one: the list starts after both.
  const size_t list_start = page.find("> <br>\n<br>\n", page.find("<img")) + 12;
  EXPECT_EQ(page.size() - list_start - tail.size(), kEntries * 6u + (kEntries + 9) / 10 * 5);
  EXPECT_GT(page.size(), size_t{4} * 1024 * 1024);
  const std::string last_line =
      "<br>\n9990, 9991, 9992, 9993, 9994, 9995, 9996, 9997, 9998, " + tail;
  EXPECT_EQ(page.substr(page.size() - last_line.size()), last_line);
}

class ImageResponseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("blipcount-image-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    file_ = (dir_ / "blipcount.jpg").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void WritePicture(size_t bytes, char first) {
    std::ofstream out(file_, std::ios::binary);
    for (size_t i = 0; i < bytes; ++i) out.put(static_cast<char>(first + i % 251));
  }

  std::filesystem::path dir_;
  std::string file_;
};

TEST_F(ImageResponseTest, HeaderThenExactlyThePicture) {
  WritePicture(1000, 'a');
  std::vector<char> buffer(4096, '#');
  const size_t length = BuildImageResponse(buffer, file_);
  ASSERT_EQ(length, 45u + 1000u);
  EXPECT_EQ(std::string_view(buffer.data(), 45), kImageHeader);
  for (size_t i = 0; i < 1000; ++i) ASSERT_EQ(buffer[45 + i], static_cast<char>('a' + i % 251));
  EXPECT_EQ(buffer[1045], '#');  // nothing written after the picture

  // Read anew on every request: a newer graph is served at once.
  WritePicture(10, 'k');
  EXPECT_EQ(BuildImageResponse(buffer, file_), 55u);
  EXPECT_EQ(buffer[45], 'k');
}

TEST_F(ImageResponseTest, LongPictureIsCutOneByteBeforeTheEnd) {
  WritePicture(1000, 'a');
  std::vector<char> buffer(100, '#');
  EXPECT_EQ(BuildImageResponse(buffer, file_), 99u);
  EXPECT_EQ(buffer[99], '#');
}

TEST_F(ImageResponseTest, NoPictureNoBytes) {
  std::vector<char> buffer(4096, '#');
  EXPECT_EQ(BuildImageResponse(buffer, file_), 0u);
  std::filesystem::create_directory(file_);  // a folder of that name is no picture either
  EXPECT_EQ(BuildImageResponse(buffer, file_), 0u);
}

}  // namespace
