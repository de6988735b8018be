// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "record/recorder.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "click_signal.h"
#include "core/period_events.h"
#include "core/process.h"
#include "input/wav_input.h"
#include "period_samples.h"
#include "record/record_schema.h"
#include "record_test_support.h"
#include "support/fake_controls.h"
#include "support/temp_dir.h"
#include "tools/click_gen.h"

namespace {

using std::chrono::seconds;

// The log lines the writer thread hands over.
struct LogLines {
  Recorder::LogFunction Function() {
    return [this](std::string line) {
      std::lock_guard lock(mutex);
      lines.push_back(std::move(line));
    };
  }
  std::vector<std::string> Take() {
    std::lock_guard lock(mutex);
    return lines;
  }
  std::mutex mutex;
  std::vector<std::string> lines;
};

// One run as the program makes it: its settings, then periods of these samples.
struct RunCase {
  const char* name;
  std::function<void(CounterState&)> set_up;
  uint32_t periods;
  // Between periods (after the one numbered), what the user changes in mid-run.
  std::function<void(CounterState&, uint32_t)> between = nullptr;
};

void LoadSamples(CounterState& state, const std::vector<uint8_t>& samples) {
  state.sample_buffer = ZeroedBlock::Allocate(samples.size());
  std::memcpy(state.sample_buffer.data(), samples.data(), samples.size());
}

void LiveRun(CounterState& state, const RunCase& run) {
  run.set_up(state);
  const PeriodFormat format{state.sampletime, state.coincidence_on()};
  const uint32_t frames = 11025 * state.sampletime;
  LoadSamples(state,
              format.two_channels ? CoincidentClicks(frames, 9, 1) : MonoClicks(frames, 9, 1));
  state.history = CountHistory::Allocate(state.forever() ? state.scrollwidth : state.repeat);
  state.iteration = 0;
  TellRunStart(state, format);
  for (uint32_t i = 1; i <= run.periods; ++i) {
    ProcessSample(state, format);
    if (run.between) run.between(state, i);
  }
  TellRunEnd(state, RunEnd::kDone);
}

// Every kind of period the program counts is one row of the record, with the values the window
// showed for it, on a run that holds the settings it was started with.
TEST(Recorder, RecordsEveryKindOfPeriodAsTheWindowShowedIt) {
  TempDir dir;
  CounterState state;
  FakeWindow window;
  window.Attach(state);
  LogLines log;
  KeepingListener told;
  Recorder recorder({.path = dir.File("blipcount.db")}, log.Function());
  state.period_listeners = {&recorder, &told};

  const RunCase live[] = {
      {"normal, the sensitivity and threshold changed in mid-run",
       [](CounterState& s) { s.repeat = 3; }, 3,
       [](CounterState& s, uint32_t done) {
         if (done == 1) s.scale = 333.3f;
         if (done == 2) s.threshold = 120;
       }},
      {"forever",
       [](CounterState& s) {
         s.repeat = FOREVER_REPEAT;
         s.scrollwidth = 5;
         s.threshold = 100;
       },
       2},
      {"coincidence, two seconds",
       [](CounterState& s) {
         s.repeat = 2;
         s.coincidence = 1;
         s.sampletime = 2;
       },
       2},
      {"timing ticks, and more of them than clicks",
       [](CounterState& s) {
         s.repeat = 2;
         s.coincidence = 0;
         s.sampletime = 1;
         s.timingticksperminute = 120;
       },
       2, [](CounterState& s, uint32_t) { s.timingticksperminute = 6000; }},
  };
  for (const RunCase& run : live) LiveRun(state, run);
  TellNotes(state, "between runs");
  // Read File: the command itself, on a three-second recording of clicks.
  const std::string wav = dir.File("clicks, \"three\" µs.wav");
  ASSERT_TRUE(
      WriteBytes(wav, CanonicalWav(RenderClicks(3 * 11025, EvenClickPositions(3 * 11025, 25)))));
  state.timingticksperminute = 0;
  ReadWavFileCommand(state, wav, false);
  ASSERT_TRUE(recorder.WaitUntilWritten(seconds(10)));
  state.period_listeners.clear();
  EXPECT_EQ(log.Take(), std::vector<std::string>{});
  ASSERT_EQ(told.runs.size(), 5u);
  ASSERT_EQ(told.periods.size(), 10u);

  TestDb db(dir.File("blipcount.db"));
  EXPECT_EQ(db.Value("PRAGMA journal_mode"), "wal");
  EXPECT_EQ(db.Value("PRAGMA user_version"), "1");
  EXPECT_EQ(db.Value("PRAGMA integrity_check"), "ok");

  // The runs, each with the settings in force at its start.
  const auto runs = db.Rows(
      "SELECT id, ended, source, sampletime, repeat, forever, coincidence, samplerate, "
      "scrollwidth, threshold, timingticksperminute, start_ms <= end_ms FROM runs ORDER BY id");
  const std::vector<double> run_scales = db.Doubles("SELECT scale FROM runs ORDER BY id");
  ASSERT_EQ(runs.size(), told.runs.size());
  for (size_t i = 0; i < runs.size(); ++i) {
    const RunReport& r = told.runs[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(runs[i],
              (std::vector<std::string>{std::to_string(i + 1), "done", r.source,
                                        std::to_string(r.sampletime), std::to_string(r.repeat),
                                        r.forever ? "1" : "0", r.coincidence ? "1" : "0", "11025",
                                        std::to_string(r.scrollwidth), std::to_string(r.threshold),
                                        std::to_string(r.timingticksperminute), "1"}));
    EXPECT_EQ(run_scales.at(i), r.scale);
  }
  EXPECT_EQ(told.runs[1].repeat, FOREVER_REPEAT);
  EXPECT_TRUE(told.runs[2].coincidence);
  EXPECT_EQ(told.runs[4].source, wav);

  // The periods: every value exactly as the report had it, the rates derived by the view.
  sqlite3_stmt* rows = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db.get(),
                               "SELECT run, start_ms, end_ms, seconds, counts, cpm, mrhr, usvh, "
                               "threshold, coincidence, timingticksperminute, scale, source "
                               "FROM period_values ORDER BY id",
                               -1, &rows, nullptr),
            SQLITE_OK);
  const int64_t expected_runs[] = {1, 1, 1, 2, 2, 3, 3, 4, 4, 5};
  for (size_t i = 0; i < told.periods.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(sqlite3_step(rows), SQLITE_ROW);
    const PeriodReport& p = told.periods[i];
    EXPECT_EQ(sqlite3_column_int64(rows, 0), expected_runs[i]);
    EXPECT_EQ(sqlite3_column_int64(rows, 1), p.start_ms);
    EXPECT_EQ(sqlite3_column_int64(rows, 2), p.end_ms);
    EXPECT_EQ(sqlite3_column_int64(rows, 3), p.seconds);
    EXPECT_EQ(sqlite3_column_int64(rows, 4), p.counts);
    EXPECT_EQ(sqlite3_column_double(rows, 5), p.cpm);
    EXPECT_EQ(sqlite3_column_double(rows, 6), p.mrhr);
    EXPECT_EQ(sqlite3_column_double(rows, 7), p.usvh);
    EXPECT_EQ(sqlite3_column_int64(rows, 8), p.threshold);
    EXPECT_EQ(sqlite3_column_int64(rows, 9), p.coincidence ? 1 : 0);
    EXPECT_EQ(sqlite3_column_int64(rows, 10), p.timingticksperminute);
    EXPECT_EQ(sqlite3_column_double(rows, 11), p.scale);
    EXPECT_EQ(reinterpret_cast<const char*>(sqlite3_column_text(rows, 12)), p.source);
  }
  EXPECT_EQ(sqlite3_step(rows), SQLITE_DONE);
  sqlite3_finalize(rows);

  // What the periods were, so the table above compares real values.
  EXPECT_EQ(told.periods[0].counts, 9);
  EXPECT_EQ(told.periods[2].scale, double{333.3f});
  EXPECT_EQ(told.periods[2].threshold, 120u);
  EXPECT_EQ(told.periods[5].seconds, 2u);
  EXPECT_EQ(told.periods[7].counts, 7);  // 9 clicks less 2 ticks
  EXPECT_EQ(told.periods[8].counts, 0);  // less 100 ticks: never negative
  EXPECT_GE(told.periods[9].counts, 25);

  EXPECT_EQ(db.Rows("SELECT run, text FROM notes"),
            (std::vector<std::vector<std::string>>{{"NULL", "between runs"}}));
}

// A period the record was not told the run of still lands on a run of its own, with the
// period's settings; a new start ends the run before it.
TEST(Recorder, EveryPeriodHasARun) {
  TempDir dir;
  LogLines log;
  {
    Recorder recorder({.path = dir.File("blipcount.db")}, log.Function());
    PeriodReport period = OneSecondPeriod(1000, 4);
    recorder.OnPeriod(period);  // no run told
    RunReport run = RunOfOneSecondPeriods(5000);
    recorder.OnRunStart(run);
    period.start_ms = 5000;
    period.end_ms = 6000;
    recorder.OnPeriod(period);
    recorder.OnNotes(6500, "in the run");
    period.seconds = 2;  // not the run's length: a run of its own
    period.start_ms = 7000;
    period.end_ms = 9000;
    recorder.OnPeriod(period);
    run.start_ms = 10000;
    recorder.OnRunStart(run);
    recorder.OnRunEnd(12000, RunEnd::kCancelled);
    recorder.OnRunEnd(13000, RunEnd::kDone);  // no run open: nothing
    ASSERT_TRUE(recorder.WaitUntilWritten(seconds(10)));
  }
  EXPECT_EQ(log.Take(), std::vector<std::string>{});
  TestDb db(dir.File("blipcount.db"));
  EXPECT_EQ(
      db.Rows("SELECT id, start_ms, end_ms, ended, sampletime, repeat FROM runs"),
      (std::vector<std::vector<std::string>>{{"1", "1000", "5000", "stopped", "1", "0"},
                                             {"2", "5000", "7000", "stopped", "1", "10"},
                                             {"3", "7000", "10000", "stopped", "2", "0"},
                                             {"4", "10000", "12000", "cancelled", "1", "10"}}));
  EXPECT_EQ(
      db.Rows("SELECT run, start_ms, end_ms, seconds FROM period_values ORDER BY id"),
      (std::vector<std::vector<std::string>>{
          {"1", "1000", "2000", "1"}, {"2", "5000", "6000", "1"}, {"3", "7000", "9000", "2"}}));
  EXPECT_EQ(db.Rows("SELECT run, at_ms, text FROM notes"),
            (std::vector<std::vector<std::string>>{{"2", "6500", "in the run"}}));
}

// An older record is taken to the new version in place, its rows kept; an upgrade that fails
// leaves the file as it was.
TEST(Recorder, UpgradesAnOlderRecordInPlace) {
  TempDir dir;
  const std::string path = dir.File("blipcount.db");
  {
    Recorder recorder({.path = path}, nullptr);
    recorder.OnPeriod(OneSecondPeriod(0, 12));
    ASSERT_TRUE(recorder.WaitUntilWritten(seconds(10)));
  }
  const RecordUpgrade failing[] = {RecordUpgrades()[0], {2, "ALTER TABLE missing ADD COLUMN x"}};
  const RecordUpgrade working[] = {RecordUpgrades()[0],
                                   {2, "ALTER TABLE periods ADD COLUMN dose INTEGER"}};
  const std::string before = ReadText(path);
  {
    SqliteDatabase db;
    ASSERT_EQ(db.Open(path, SQLITE_OPEN_READWRITE), SQLITE_OK);
    EXPECT_NE(UpgradeRecord(db, 1, failing), SQLITE_OK);
  }
  EXPECT_EQ(ReadText(path), before);
  {
    SqliteDatabase db;
    ASSERT_EQ(db.Open(path, SQLITE_OPEN_READWRITE), SQLITE_OK);
    EXPECT_EQ(UpgradeRecord(db, 1, working), SQLITE_OK);
  }
  TestDb db(path);
  EXPECT_EQ(db.Value("PRAGMA user_version"), "2");
  EXPECT_EQ(db.Value("PRAGMA application_id"), std::to_string(kRecordApplicationId));
  EXPECT_EQ(db.Rows("SELECT counts, dose FROM periods"),
            (std::vector<std::vector<std::string>>{{"12", "NULL"}}));
}

}  // namespace
