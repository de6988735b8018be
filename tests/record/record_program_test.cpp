// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// The record of the real program, watched from outside: started with a settings file that
// counts at once, recording from ALSA's file plugin, its log on standard error.
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "click_signal.h"
#include "core/counter_state.h"
#include "core/period_events.h"
#include "core/text_format.h"
#include "files/settings_file.h"
#include "record_test_support.h"
#include "support/child_program.h"
#include "support/temp_dir.h"

namespace {

using std::chrono::milliseconds;
constexpr char kLogPrefix[] = "log| ";

// A working folder whose program counts one-second periods at once, `repeat` of them.
std::vector<std::string> PrepareFolder(const TempDir& dir, uint32_t repeat) {
  // The plugin delivers faster than real time; the file must outlast each run.
  const std::string alsa = WriteFileCaptureConfig(dir.path(), MonoClicks(11025, 9), 2000);
  CounterState settings;
  settings.autostart = 1;
  settings.sampletime = 1;
  settings.repeat = repeat;
  EXPECT_TRUE(WriteSettings(settings, dir.File("blipcount.ini")));
  std::vector<std::string> environment = SanitizerEnvironment(LSAN_SUPPRESSIONS);
  environment.insert(environment.end(), {"QT_QPA_PLATFORM=offscreen", "BLIPCOUNT_LOG_TO_STDERR=1",
                                         "ALSA_CONFIG_PATH=" + alsa});
  return ChildEnvironment(environment);
}

// The program killed with SIGKILL at random moments, from its start-up to deep in a run: each
// time the file opens, passes the integrity check, and holds every period whose log line had
// shown for a second, and the next start records on in it without a word of complaint.
TEST(RecordProgram, KilledAtAnyMomentKeepsEveryPeriodShownASecondBefore) {
  TempDir dir;
  const std::vector<std::string> environment = PrepareFolder(dir, 1000000);
  const std::string path = dir.File("blipcount.db");
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE(StringPrintf("seed %u", seed));
  std::mt19937 random(seed);
  // A third of the kills come in the start-up (the file opened, made or upgraded, the device
  // opened), the others while the run counts.
  std::uniform_int_distribution<int> startup_ms(0, 1500);
  std::uniform_int_distribution<int> counting_ms(1200, 3000);
  constexpr int kKills = 24;
  int kills_with_periods = 0;

  for (int kill = 0; kill < kKills; ++kill) {
    SCOPED_TRACE(StringPrintf("kill %d", kill));
    const int64_t started_ms = UtcNowMs();
    Program program(BLIPCOUNT_BINARY, dir.path(), environment);
    if (kill % 3 == 0) {
      program.ReadUntil(ChildClock::now() + milliseconds(startup_ms(random)));
    } else {
      ASSERT_TRUE(
          program.WaitForLine("Starting recording.", ChildClock::now() + std::chrono::seconds(60)))
          << program.all();
      program.ReadUntil(ChildClock::now() + milliseconds(counting_ms(random)));
    }
    const ChildClock::time_point killed = ChildClock::now();
    program.Kill();

    // The periods the log had shown for a second when the kill came, in order.
    std::vector<std::string> shown;
    for (size_t i = 0; i < program.lines().size(); ++i) {
      const std::string& line = program.lines()[i];
      EXPECT_EQ(line.rfind(std::string(kLogPrefix) + "Record:", 0), std::string::npos) << line;
      unsigned number = 0, counts = 0;
      if (program.line_times()[i] > killed - std::chrono::seconds(1)) continue;
      if (std::sscanf(line.c_str(), "log| #%u Counts=%u", &number, &counts) != 2) continue;
      EXPECT_EQ(number, shown.size() + 1) << line;
      shown.push_back(std::to_string(counts));
    }
    if (!shown.empty()) ++kills_with_periods;
    if (!std::filesystem::exists(path)) {
      EXPECT_TRUE(shown.empty());
      continue;
    }

    TestDb db(path);
    EXPECT_EQ(db.Value("PRAGMA integrity_check"), "ok");
    const auto runs = db.Rows(StringPrintf("SELECT id FROM runs WHERE start_ms >= %lld",
                                           static_cast<long long>(started_ms)));
    if (shown.empty()) continue;
    ASSERT_EQ(runs.size(), 1u) << program.all();
    std::vector<std::string> recorded;
    for (const auto& row :
         db.Rows("SELECT counts FROM periods WHERE run = " + runs[0][0] + " ORDER BY id")) {
      recorded.push_back(row[0]);
    }
    ASSERT_GE(recorded.size(), shown.size());
    recorded.resize(shown.size());
    EXPECT_EQ(recorded, shown);
  }
  // Most kills in a run came after periods had shown for a second, however slow the machine.
  EXPECT_GE(kills_with_periods, kKills / 3);
}

// A blipcount.db that is a user's text file: one line says so, the program counts on, and the
// file is left byte for byte as it was, with nothing made beside it.
TEST(RecordProgram, AUsersFileNamedLikeTheRecordIsLeftAlone) {
  TempDir dir;
  const std::vector<std::string> environment = PrepareFolder(dir, 3);
  const std::string notes = "Mon: 14 CPM by the window\nTue: 16 CPM\n";
  WriteText(dir.File("blipcount.db"), notes);
  const auto before = std::distance(std::filesystem::directory_iterator(dir.path()), {});

  Program program(BLIPCOUNT_BINARY, dir.path(), environment);
  const auto deadline = ChildClock::now() + std::chrono::seconds(60);
  ASSERT_TRUE(program.WaitForLine("Done counting.", deadline)) << program.all();
  program.ReadUntil(ChildClock::now() + milliseconds(300));
  EXPECT_EQ(program.Terminate(ChildClock::now() + std::chrono::seconds(20)), 0);

  std::vector<std::string> record_lines;
  int periods = 0;
  for (const std::string& line : program.lines()) {
    if (line.starts_with("log| Record:")) record_lines.push_back(line);
    if (line.starts_with("log| #")) ++periods;
  }
  EXPECT_EQ(record_lines,
            std::vector<std::string>{"log| Record: \"blipcount.db\" is not a SQLite database; it "
                                     "is left as it is, and counting goes on without recording."});
  EXPECT_EQ(periods, 3);
  EXPECT_EQ(ReadText(dir.File("blipcount.db")), notes);
  // The settings file is written again at the end; nothing else appeared.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), before);
}

}  // namespace
