// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "files/config_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

using Status = ConfigReadResult::Status;

TEST(ParseConfig, AppliesEveryKindOfKey) {
  Config config;
  const ConfigReadResult result = ParseConfig(
      "# a station\n"
      "record = no\n"
      "database=/var/lib/blipcount/meter.db\n"
      "\n"
      "  ; MQTT\n"
      "mqtt = Yes\r\n"
      "mqtt_port = 8883\n"
      "mqtt_password = \" two words \"\n"
      "mqtt_topic =\n"
      "alarm_usvh = 0.35\n"
      "alarm_periods = 5\n"
      "dead_time_us=90\n",
      config);
  EXPECT_EQ(result.status, Status::kRead);
  EXPECT_TRUE(result.problems.empty());
  EXPECT_FALSE(config.record);
  EXPECT_EQ(config.database, "/var/lib/blipcount/meter.db");
  EXPECT_TRUE(config.mqtt);
  EXPECT_EQ(config.mqtt_port, 8883u);
  EXPECT_EQ(config.mqtt_password, " two words ");
  EXPECT_EQ(config.mqtt_topic, "");
  EXPECT_DOUBLE_EQ(config.alarm_usvh, 0.35);
  EXPECT_EQ(config.alarm_periods, 5u);
  EXPECT_EQ(config.dead_time_us, 90u);
  // Keys the file does not name keep their defaults.
  EXPECT_EQ(config.mqtt_host, "localhost");
  EXPECT_TRUE(config.alarm_sound);
}

// Each bad line gets one problem line naming the line and the key; the lines around it apply.
TEST(ParseConfig, ReportsEachBadLineAndAppliesTheRest) {
  struct Case {
    std::string line;
    std::string problem;
  };
  const std::vector<Case> cases = {
      {"colour = red", "blipcount.conf line 2: unknown key \"colour\"; ignored."},
      {"record = maybe", "blipcount.conf line 2: record takes yes or no, not \"maybe\"; ignored."},
      {"mqtt_port = 0",
       "blipcount.conf line 2: mqtt_port takes a whole number from 1 to 65535, not \"0\"; "
       "ignored."},
      {"mqtt_port = 65536",
       "blipcount.conf line 2: mqtt_port takes a whole number from 1 to 65535, not \"65536\"; "
       "ignored."},
      {"mqtt_port = 80x",
       "blipcount.conf line 2: mqtt_port takes a whole number from 1 to 65535, not \"80x\"; "
       "ignored."},
      {"alarm_usvh = -1",
       "blipcount.conf line 2: alarm_usvh takes a number from 0 to 1e+09, not \"-1\"; ignored."},
      {"alarm_usvh = nan",
       "blipcount.conf line 2: alarm_usvh takes a number from 0 to 1e+09, not \"nan\"; ignored."},
      {"database =",
       "blipcount.conf line 2: database takes a text that is not empty, not \"\"; ignored."},
      {"just words", "blipcount.conf line 2: \"just words\" is not a key = value line; ignored."},
      {"Record = no", "blipcount.conf line 2: unknown key \"Record\"; ignored."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Config config;
    const ConfigReadResult result =
        ParseConfig("mqtt_host = broker\n" + c.line + "\nalarm_periods = 7\n", config);
    ASSERT_EQ(result.problems.size(), 1u);
    EXPECT_EQ(result.problems[0], c.problem);
    EXPECT_EQ(config.mqtt_host, "broker");
    EXPECT_EQ(config.alarm_periods, 7u);
    // The bad line changed nothing.
    const Config defaults;
    EXPECT_EQ(config.record, defaults.record);
    EXPECT_EQ(config.mqtt_port, defaults.mqtt_port);
    EXPECT_EQ(config.database, defaults.database);
  }
}

TEST(ReadConfig, MissingFileKeepsTheDefaultsSilently) {
  TempDir dir;
  Config config;
  config.record = false;
  const ConfigReadResult result = ReadConfig(dir.File("blipcount.conf"), config);
  EXPECT_EQ(result.status, Status::kMissing);
  EXPECT_TRUE(result.problems.empty());
  EXPECT_FALSE(config.record);
}

TEST(ReadConfig, ReadsAFileAndNamesItInProblems) {
  TempDir dir;
  const std::string path = dir.File("blipcount.conf");
  WriteText(path, "record = no\nsize = 3\n");
  Config config;
  const ConfigReadResult result = ReadConfig(path, config);
  EXPECT_EQ(result.status, Status::kRead);
  EXPECT_FALSE(config.record);
  ASSERT_EQ(result.problems.size(), 1u);
  EXPECT_EQ(result.problems[0], path + " line 2: unknown key \"size\"; ignored.");
}

// A FIFO or a folder in the file's place is refused at once, never waited on.
TEST(ReadConfig, RefusesWhatIsNotARegularFileWithoutBlocking) {
  TempDir dir;
  const std::string fifo = dir.File("fifo.conf");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, dir.path()}) {
    SCOPED_TRACE(path);
    Config config;
    const ConfigReadResult result = ReadConfig(path, config);
    EXPECT_EQ(result.status, Status::kUnreadable);
    ASSERT_EQ(result.problems.size(), 1u);
    EXPECT_EQ(result.problems[0],
              "Cannot read " + path + " (not a regular file): its settings keep their defaults.");
  }
}

// A file that cannot be opened (here its folder is a file, which fails as a file without read
// permission does) keeps the defaults and says why.
TEST(ReadConfig, FileThatCannotBeOpenedIsReported) {
  TempDir dir;
  WriteText(dir.File("notes.txt"), "not a folder\n");
  const std::string path = dir.File("notes.txt/blipcount.conf");
  Config config;
  const ConfigReadResult result = ReadConfig(path, config);
  EXPECT_EQ(result.status, Status::kUnreadable);
  EXPECT_TRUE(config.record);
  ASSERT_EQ(result.problems.size(), 1u);
  EXPECT_EQ(result.problems[0],
            "Cannot read " + path + " (Not a directory): its settings keep their defaults.");
}

}  // namespace
