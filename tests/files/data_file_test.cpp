// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "files/data_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_controls.h"
#include "support/temp_dir.h"

namespace {

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

class DataFileTest : public ::testing::Test {
 protected:
  // A run of three periods of one second with counts 5, 7 and 12, out of a repeat of 10.
  DataFileTest() {
    window.Attach(state);
    state.started = "Mon May 03 14:02:07 2004";
    state.sampletime = 1;
    state.repeat = 10;
    SetHistory({5, 7, 12});
    state.current_cpm = 720.0;
  }

  void SetHistory(const std::vector<uint32_t>& counts) {
    state.history = CountHistory::Allocate(counts.size());
    for (size_t i = 0; i < counts.size(); ++i) state.history.Store(i, counts[i]);
    state.iteration = static_cast<uint32_t>(counts.size());
  }

  std::string Save(bool commas, bool graph) {
    SaveDataFile(state, path, commas, graph, [this] { return editor; });
    return ReadText(path);
  }

  std::string Header(const std::string& counts_line, const std::string& average_line) const {
    return std::string(kBanner) + "\nSampling started: Mon May 03 14:02:07 2004\n" +
           "1 seconds per sample\n" + counts_line + "threshold = 100\n" + average_line +
           "current_cpm = 720\n\n";
  }

  CounterState state;
  FakeWindow window;
  TempDir dir;
  std::string path = dir.File("data.txt");
  std::string editor;
};

const std::string kThreePeriods = "3 samples of 10\n";
const std::string kAverage480 = "current_average = 480 cpm\n";

TEST_F(DataFileTest, CommaModeIsOneLineWithoutALineEnd) {
  EXPECT_EQ(Save(true, false), Header(kThreePeriods, kAverage480) + "  300,   420,   720, ");
  EXPECT_EQ(state.average_counts, 8u);
  EXPECT_TRUE(window.log.lines.empty());
}

TEST_F(DataFileTest, ListModeIndexesEveryValue) {
  EXPECT_EQ(Save(false, false),
            Header(kThreePeriods, kAverage480) + "0      300 \n1      420 \n2      720 \n");
}

TEST_F(DataFileTest, TextGraphBarsScaleTheLargestToSeventy) {
  const std::string ten = "---------+";
  EXPECT_EQ(Save(false, true), Header(kThreePeriods, kAverage480) + "0      300 " + Repeat(ten, 3) +
                                   "\n1      420 " + Repeat(ten, 4) + "-\n" + "2      720 " +
                                   Repeat(ten, 7) + "\n");
  // Insert Commas wins over Text Graph.
  EXPECT_EQ(Save(true, true), Header(kThreePeriods, kAverage480) + "  300,   420,   720, ");
}

TEST_F(DataFileTest, CommaModeBreaksTheLineAfterEveryTenthValue) {
  SetHistory(std::vector<uint32_t>(23, 1));
  state.repeat = 23;
  const std::string expected =
      Repeat("   60, ", 10) + "\n" + Repeat("   60, ", 10) + "\n" + Repeat("   60, ", 3);
  EXPECT_EQ(Save(true, false),
            Header("23 samples of 23\n", "current_average = 60 cpm\n") + expected);
}

TEST_F(DataFileTest, TimingTicksAddTheSubtractingLine) {
  state.timingticksperminute = 60;
  std::string expected = Header(kThreePeriods, kAverage480);
  expected.insert(expected.size() - 1, "subtracting 60 ticks/min\n");
  EXPECT_EQ(Save(true, false), expected + "  300,   420,   720, ");
}

TEST_F(DataFileTest, NotesBlockTakesTheEditorTextAndLogsIt) {
  state.notes_open = true;
  editor = "";  // opened once, left empty
  EXPECT_EQ(Save(true, false), Header(kThreePeriods, kAverage480) +
                                   "---------- Notes ----------\n\n"
                                   "---------------------------\n" +
                                   "  300,   420,   720, ");
  EXPECT_EQ(window.log.lines, (std::vector<std::string>{"", "Added notes."}));

  window.log.lines.clear();
  editor = "Background in the cellar.\nMeter on its stand.";
  EXPECT_EQ(Save(false, false),
            Header(kThreePeriods, kAverage480) + "---------- Notes ----------\n" + editor + "\n" +
                "---------------------------\n" + "0      300 \n1      420 \n2      720 \n");
  EXPECT_EQ(state.notes, editor);
  EXPECT_EQ(window.log.lines, (std::vector<std::string>{editor, "Added notes."}));
}

TEST_F(DataFileTest, ForeverModeWritesAllButTheNewestEntry) {
  state.repeat = FOREVER_REPEAT;
  state.scrollwidth = 5;
  SetHistory({0, 0, 0, 4, 9});
  state.iteration = 4;
  EXPECT_EQ(Save(false, false), Header("4 samples of 999999999\n", "current_average = 60 cpm\n") +
                                    "0        0 \n1        0 \n2        0 \n3      240 \n");
}

TEST_F(DataFileTest, DegenerateRunsDivideByNothing) {
  // No period stored: the header with an average of 0 and no values.
  SetHistory({});
  EXPECT_EQ(Save(false, true), Header("0 samples of 10\n", "current_average = 0 cpm\n"));

  // Every period 0: no bars at all.
  SetHistory({0, 0});
  EXPECT_EQ(Save(false, true), Header("2 samples of 10\n", "current_average = 0 cpm\n") +
                                   "0        0 \n1        0 \n");

  // A period of 0 seconds is shown as one of 1 second.
  SetHistory({5, 7, 12});
  state.sampletime = 0;
  std::string expected = Header(kThreePeriods, kAverage480);
  expected.replace(expected.find("1 seconds"), 1, "0");
  EXPECT_EQ(Save(true, false), expected + "  300,   420,   720, ");
}

TEST_F(DataFileTest, AFileThatCannotBeCreatedIsLoggedAndNothingElse) {
  state.notes_open = true;
  editor = "never read";
  SaveDataFile(state, dir.File("no-such-folder/data.txt"), true, false, [this] { return editor; });
  EXPECT_EQ(window.log.lines, std::vector<std::string>{"Problem opening file to write."});
  EXPECT_EQ(state.notes, "");
}

TEST_F(DataFileTest, AnExistingFileIsReplacedWhole) {
  WriteText(path, std::string(10000, 'x'));
  EXPECT_EQ(Save(true, false), Header(kThreePeriods, kAverage480) + "  300,   420,   720, ");
}

}  // namespace
