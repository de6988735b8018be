// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "files/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iomanip>
#include <ostream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

// Every setting the file holds, so a case states all of them and a diff shows which one moved.
struct Persisted {
  uint32_t sampletime = 1;
  uint32_t repeat = 10;
  uint32_t threshold = 100;
  float scale = 600.0f;
  uint32_t webport = 700;
  uint32_t timingticksperminute = 0;
  int32_t autostart = 0;
  uint32_t scrollwidth = 60;
  std::string graphtitle = "   Counts Per Minute   ";
  uint8_t savegraph = 0;
  int32_t coincidence = 0;

  static Persisted Of(const CounterState& s) {
    return {s.sampletime,           s.repeat,    s.threshold,   s.scale,      s.webport,
            s.timingticksperminute, s.autostart, s.scrollwidth, s.graphtitle, s.savegraph,
            s.coincidence};
  }
  bool operator==(const Persisted&) const = default;
};

void PrintTo(const Persisted& p, std::ostream* os) {
  *os << "{sampletime " << p.sampletime << ", repeat " << p.repeat << ", threshold " << p.threshold
      << ", scale " << std::setprecision(12) << p.scale << ", webport " << p.webport << ", ticks "
      << p.timingticksperminute << ", autostart " << p.autostart << ", scrollwidth "
      << p.scrollwidth << ", title \"" << p.graphtitle << "\", savegraph " << int{p.savegraph}
      << ", coincidence " << p.coincidence << "}";
}

const char kDefaultFile[] =
    "sampletime 1\n"
    "repeat 10\n"
    "threshold 100\n"
    "scale 600.000000\n"
    "webport 700\n"
    "timingticksperminute 0\n"
    "autostart 0\n"
    "scrollwidth 60\n"
    "   Counts Per Minute   \n"
    "savegraph 0\n"
    "coincidence 0\n";

class SettingsFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string ini = dir.File("blipcount.ini");
};

TEST_F(SettingsFileTest, DefaultsWriteTheElevenLinesAndReadBack) {
  CounterState written;
  ASSERT_TRUE(WriteSettings(written, ini));
  EXPECT_EQ(ReadText(ini), kDefaultFile);

  CounterState read;
  read.sampletime = 7;
  read.repeat = 3;
  read.scale = 2.0f;
  read.graphtitle = "other";
  ASSERT_TRUE(ReadSettings(read, ini));
  Persisted expected;
  expected.graphtitle = "Counts Per Minute   ";  // the reader skips the leading blanks
  EXPECT_EQ(Persisted::Of(read), expected);
}

struct ReadCase {
  const char* name;
  std::string text;
  Persisted expected;  // starting from the defaults with the title "old title"
};

Persisted With(void (*change)(Persisted&)) {
  Persisted p;
  p.graphtitle = "old title";
  change(p);
  return p;
}

TEST(ParseSettings, ReadsByPositionWithTheStreamRules) {
  const std::vector<ReadCase> cases = {
      {"empty file", "", With([](Persisted&) {})},
      {"only the first line", "sampletime 5\n", With([](Persisted& p) { p.sampletime = 5; })},
      {"misspelt key words count by position", "threshold 50\n",
       With([](Persisted& p) { p.sampletime = 50; })},
      {"every line",
       "sampletime 30\nrepeat 999999999\nthreshold 45\nscale 123.5\nwebport 8080\n"
       "timingticksperminute 60\nautostart 1\nscrollwidth 120\nMy  meter   title  \n"
       "savegraph 257\ncoincidence 256\n",
       With([](Persisted& p) {
         p = {30, FOREVER_REPEAT, 45, 123.5f, 8080, 60, 1, 120, "My  meter   title  ", 1, 256};
       })},
      {"negative numbers give the upper half of the unsigned range",
       "a 1\nrepeat -1\nc 1\nd 1\ne 1\nticks -2\n", With([](Persisted& p) {
         p.repeat = 4294967295u;
         p.threshold = 1;
         p.scale = 1.0f;
         p.webport = 1;
         p.timingticksperminute = 4294967294u;
       })},
      {"a word for the first value puts the reading out of step",
       "sampletime abc\nrepeat 20\nthreshold 30\n", With([](Persisted& p) {
         p.threshold = 20;
         p.scale = 30.0f;
       })},
      {"a key joined to its value loses that value only",
       "sampletime=5\nrepeat 20\nthreshold 30\nscale 2\n", With([](Persisted& p) {
         p.repeat = 20;
         p.threshold = 30;
         p.scale = 2.0f;
       })},
      {"blank lines and leading blanks before a value or the title are passed over",
       "\n\n  sampletime\n\n 8 \n\nrepeat 2\nthreshold 3\nscale 4\nwebport 5\nt 6\na 0\ns 7\n\n"
       "   \t title \n\n savegraph 1\n coincidence 1",
       With([](Persisted& p) { p = {8, 2, 3, 4.0f, 5, 6, 0, 7, "title ", 1, 1}; })},
      {"lines written with CR LF",
       "sampletime 2\r\nrepeat 3\r\nt 4\r\ns 5\r\nw 6\r\nt 7\r\n"
       "a 1\r\ns 8\r\nTitle\r\nsavegraph 1\r\ncoincidence 1\r\n",
       With([](Persisted& p) { p = {2, 3, 4, 5.0f, 6, 7, 1, 8, "Title", 1, 1}; })},
      {"values outside their window's range keep the setting",
       "sampletime 0\nrepeat 0\nthreshold 300\nscale 0.5\nwebport 70000\nticks 5\nautostart 0\n"
       "scrollwidth 0\n",
       With([](Persisted& p) { p.timingticksperminute = 5; })},
      {"numbers too large for 32 bits keep the setting and the reading in step",
       "sampletime 99999999999999999999\nrepeat 4294967296\nthreshold -2147483649\nscale 1e999\n"
       "webport 80\n",
       With([](Persisted& p) { p.webport = 80; })},
      // The largest sensitivity the window takes, as typed and as earlier versions wrote it
      // (rounded up to the next 32-bit float): read as the largest float within the range.
      {"the largest scale the window takes", "a 1\nb 1\nc 1\nscale 9999999999\n",
       With([](Persisted& p) {
         p.repeat = 1;
         p.threshold = 1;
         p.scale = 9999998976.0f;
       })},
      {"the largest scale as written before", "a 1\nb 1\nc 1\nscale 10000000000.000000\n",
       With([](Persisted& p) {
         p.repeat = 1;
         p.threshold = 1;
         p.scale = 9999998976.0f;
       })},
      {"the file ends before the title", "1 1\n2 2\n3 3\n4 4\n5 5\n6 6\n7 7\n8 8\n",
       With([](Persisted& p) { p = {1, 2, 3, 4.0f, 5, 6, 7, 8, "old title", 0, 0}; })},
      {"an empty title written as two quotes",
       "1 1\n2 2\n3 3\n4 4\n5 5\n6 6\n7 7\n8 8\n\"\"\n"
       "savegraph 1\ncoincidence 3\n",
       With([](Persisted& p) { p = {1, 2, 3, 4.0f, 5, 6, 7, 8, "", 1, 3}; })},
      // Only two quotes at the start of the line mean the empty title; after blanks they are
      // the title that a reader of the line sees.
      {"two quotes after blanks are a title",
       "1 1\n2 2\n3 3\n4 4\n5 5\n6 6\n7 7\n8 8\n \t\"\"\n"
       "savegraph 1\ncoincidence 3\n",
       With([](Persisted& p) { p = {1, 2, 3, 4.0f, 5, 6, 7, 8, "\"\"", 1, 3}; })},
  };
  for (const ReadCase& c : cases) {
    CounterState state;
    state.graphtitle = "old title";
    ParseSettings(state, c.text);
    EXPECT_EQ(Persisted::Of(state), c.expected) << c.name;
  }
}

TEST_F(SettingsFileTest, NumbersRoundTripInTheirThirtyTwoBits) {
  CounterState written;
  written.repeat = 4294967295u;
  written.timingticksperminute = 2147483648u;
  written.scale = 123.4f;
  written.coincidence = 256;  // only the low byte is written: off
  written.savegraph = 1;
  ASSERT_TRUE(WriteSettings(written, ini));
  const std::string text = ReadText(ini);
  EXPECT_NE(text.find("repeat -1\n"), std::string::npos);
  EXPECT_NE(text.find("timingticksperminute -2147483648\n"), std::string::npos);
  EXPECT_NE(text.find("scale 123.400002\n"), std::string::npos);
  EXPECT_NE(text.find("savegraph 1\ncoincidence 0\n"), std::string::npos);

  CounterState read;
  ASSERT_TRUE(ReadSettings(read, ini));
  EXPECT_EQ(read.repeat, 4294967295u);
  EXPECT_EQ(read.timingticksperminute, 2147483648u);
  EXPECT_EQ(read.scale, 123.4f);
  EXPECT_EQ(read.coincidence, 0);
  EXPECT_FALSE(read.coincidence_on());
}

TEST_F(SettingsFileTest, TitlesThatNeedCareSurviveAWriteAndARead) {
  struct TitleCase {
    std::string written, read;
  };
  const std::string long_title(300, 'x');
  const std::vector<TitleCase> cases = {
      {"", ""},
      {"     ", ""},
      {"\"", "\""},
      {"\"\"", "\"\""},
      {"\"\"\"", "\"\"\""},
      {"  \"\"", "\"\""},  // leading blanks are lost on reading, as for every title
      {long_title, long_title.substr(0, 127)},
      {"Dose  rate \"\" ", "Dose  rate \"\" "},
      // A cut never splits a character: 63 two-byte letters are 126 bytes, the 64th would
      // end at byte 128.
      {[] {
         std::string s;
         for (int i = 0; i < 70; ++i) s += "\xc3\xa9";
         return s;
       }(),
       [] {
         std::string s;
         for (int i = 0; i < 63; ++i) s += "\xc3\xa9";
         return s;
       }()},
  };
  for (const TitleCase& c : cases) {
    CounterState written;
    written.graphtitle = c.written;
    written.savegraph = 1;
    written.coincidence = 1;
    ASSERT_TRUE(WriteSettings(written, ini));
    CounterState read;
    ASSERT_TRUE(ReadSettings(read, ini));
    EXPECT_EQ(read.graphtitle, c.read) << "title \"" << c.written << "\"";
    // The lines after the title stay in step.
    EXPECT_EQ(read.savegraph, 1) << "title \"" << c.written << "\"";
    EXPECT_EQ(read.coincidence, 1) << "title \"" << c.written << "\"";
  }
}

TEST_F(SettingsFileTest, AFileThatCannotBeReadChangesNothing) {
  CounterState state;
  state.sampletime = 42;
  EXPECT_FALSE(ReadSettings(state, dir.File("missing.ini")));
  EXPECT_FALSE(ReadSettings(state, dir.path()));  // a folder
  EXPECT_EQ(Persisted::Of(state), [] {
    Persisted p;
    p.sampletime = 42;
    return p;
  }());
}

TEST_F(SettingsFileTest, AFolderThatCannotBeWrittenFailsAndLeavesNoFile) {
  WriteText(dir.File("plain-file"), "x");
  CounterState state;
  EXPECT_FALSE(WriteSettings(state, dir.File("plain-file/blipcount.ini")));
  EXPECT_FALSE(WriteSettings(state, dir.File("no-such-folder/blipcount.ini")));
  EXPECT_FALSE(WriteSettings(state, dir.path()));  // a folder of that name

  if (geteuid() != 0) {  // root writes into read-only folders
    const std::string locked = dir.File("locked");
    std::filesystem::create_directory(locked);
    chmod(locked.c_str(), 0555);
    EXPECT_FALSE(WriteSettings(state, locked + "/blipcount.ini"));
    chmod(locked.c_str(), 0755);
  }
}

TEST_F(SettingsFileTest, WritingReplacesTheOldFileWhole) {
  WriteText(ini, std::string(5000, '#') + "\n");
  chmod(ini.c_str(), 0640);
  CounterState state;
  ASSERT_TRUE(WriteSettings(state, ini));
  EXPECT_EQ(ReadText(ini), kDefaultFile);
  struct stat info {};
  ASSERT_EQ(stat(ini.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  // Nothing but the settings file is left in the folder.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"blipcount.ini"});
}

}  // namespace
