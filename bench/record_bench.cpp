// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// The record at the scale of a station that runs for a year: 31,536,000 one-second periods.
// Each benchmark reports its limit beside its figure:
//   BM_YearOnDisk          the file of the year, against 2 GiB
//   BM_OwnerThreadPerPeriod what handing a period to the recorder costs the owner thread, while
//                          its writer commits them, against 100 us
//   BM_CommitOnePeriod     what the writer pays per period at one commit a period (the owner
//                          thread's cost if it wrote itself), on the year's file
//   BM_ExportOneDay        86,400 periods of the year exported (CSV, JSON), against 1 s, beside
//                          BM_ReadOneDay, the same rows read from SQLite and not formatted
//
// The year is made once (a few minutes) and kept for later runs: $BLIPCOUNT_BENCH_RECORD, or
// blipcount-bench-year.db in the temporary folder. It is not part of the test run.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "record/export.h"
#include "record/record_open.h"
#include "record/record_writer.h"
#include "record/recorder.h"
#include "record/sqlite.h"

namespace {

constexpr int64_t kYearPeriods = 365LL * 86400;
constexpr int64_t kYearStartMs = 1735689600000;  // 2025-01-01T00:00:00Z
constexpr int64_t kDayMs = 86400 * 1000;
constexpr double kSizeLimitBytes = 2.0 * 1024 * 1024 * 1024;
constexpr double kOwnerLimitUs = 100;
constexpr double kExportLimitS = 1;

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

std::string YearPath() {
  const char* path = std::getenv("BLIPCOUNT_BENCH_RECORD");
  return path != nullptr && *path != '\0' ? path : TempFolder() + "/blipcount-bench-year.db";
}

// A period of a second with 0 to 40 counts (a CPM of up to four digits).
PeriodReport YearPeriod(int64_t index, std::mt19937& random) {
  std::uniform_int_distribution<int> counts(0, 40);
  std::uniform_int_distribution<int> late_ms(0, 4);  // a completion comes a little late
  PeriodReport period;
  period.start_ms = kYearStartMs + index * 1000 + late_ms(random);
  period.end_ms = period.start_ms + 1000 + late_ms(random);
  period.seconds = 1;
  period.counts = counts(random);
  period.threshold = 100;
  period.scale = 600;
  period.forever = true;
  return period;
}

bool YearIsComplete(const std::string& path) {
  if (!std::filesystem::exists(path)) return false;
  SqliteDatabase db;
  int64_t rows = 0;
  return db.Open(path, SQLITE_OPEN_READONLY) == SQLITE_OK &&
         db.QueryInt64("SELECT max(id) FROM periods", &rows) == SQLITE_OK && rows == kYearPeriods;
}

// Writes the year through the record's own writer, 100,000 periods to a transaction.
bool MakeYear(const std::string& path) {
  const std::string partial = path + ".partial";
  for (const char* end : {"", "-wal", "-shm"}) std::filesystem::remove(partial + end);
  const auto started = std::chrono::steady_clock::now();
  {
    RecordOpening opening = OpenRecordForWriting(partial);
    if (opening.status != RecordOpening::kOpened) return false;
    RecordWriter writer;
    if (writer.Prepare(opening.db) != SQLITE_OK) return false;
    std::mt19937 random(2025);
    RunReport run;
    run.start_ms = kYearStartMs;
    run.sampletime = 1;
    run.repeat = 999999999;
    run.forever = true;
    run.samplerate = 11025;
    run.scrollwidth = 60;
    run.threshold = 100;
    run.scale = 600;
    std::vector<RecordEvent> batch = {run};
    for (int64_t i = 0; i < kYearPeriods; ++i) {
      batch.emplace_back(YearPeriod(i, random));
      if (batch.size() == 100000 || i + 1 == kYearPeriods) {
        if (writer.Write(batch) != SQLITE_OK) return false;
        batch.clear();
      }
    }
    opening.db.Execute("PRAGMA wal_checkpoint(TRUNCATE)");
  }
  std::filesystem::rename(partial, path);
  for (const char* end : {"-wal", "-shm"}) std::filesystem::remove(partial + end);
  std::fprintf(stderr, "record_bench: made %s in %.0f s\n", path.c_str(),
               std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  return true;
}

const std::string& Year() {
  static const std::string path = [] {
    const std::string year = YearPath();
    if (!YearIsComplete(year)) {
      std::fprintf(stderr, "record_bench: making a year of periods in %s...\n", year.c_str());
      if (!MakeYear(year)) std::fprintf(stderr, "record_bench: could not make %s\n", year.c_str());
    }
    return year;
  }();
  return path;
}

double FileBytes(const std::string& path) {
  double bytes = 0;
  for (const char* end : {"", "-wal"}) {
    struct stat status {};
    if (stat((path + end).c_str(), &status) == 0) bytes += static_cast<double>(status.st_size);
  }
  return bytes;
}

void BM_YearOnDisk(benchmark::State& bench) {
  const std::string& year = Year();
  double bytes = 0;
  for (auto _ : bench) bytes = FileBytes(year);
  bench.counters["file_GiB"] = bytes / (1024.0 * 1024 * 1024);
  bench.counters["limit_GiB"] = kSizeLimitBytes / (1024.0 * 1024 * 1024);
  bench.counters["bytes_per_period"] = bytes / kYearPeriods;
  bench.counters["of_limit"] = bytes / kSizeLimitBytes;
}

// The owner thread's side: OnPeriod, timed call by call, while the writer commits. Every 1,000
// periods the benchmark lets the writer catch up (not timed), as it does between periods that
// come a second apart.
void BM_OwnerThreadPerPeriod(benchmark::State& bench) {
  const std::string folder = TempFolder() + "/blipcount-bench-append-" + std::to_string(getpid());
  std::filesystem::create_directories(folder);
  {
    Recorder recorder({.path = folder + "/blipcount.db"}, nullptr);
    std::mt19937 random(7);
    int64_t index = 0;
    std::vector<double> calls_us;
    calls_us.reserve(static_cast<size_t>(bench.max_iterations));
    for (auto _ : bench) {
      const PeriodReport period = YearPeriod(index++, random);
      const auto started = std::chrono::steady_clock::now();
      recorder.OnPeriod(period);
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      bench.SetIterationTime(seconds);
      calls_us.push_back(seconds * 1e6);
      if (index % 1000 == 0) recorder.WaitUntilWritten(std::chrono::seconds(60));
    }
    recorder.WaitUntilWritten(std::chrono::seconds(60));
    // The slow calls: the machine's scheduler taking the core away counts here too.
    std::sort(calls_us.begin(), calls_us.end());
    if (!calls_us.empty()) {
      bench.counters["p999_us"] = calls_us[calls_us.size() * 999 / 1000];
      bench.counters["slowest_us"] = calls_us.back();
    }
    bench.counters["limit_us"] = kOwnerLimitUs;
  }
  std::filesystem::remove_all(folder);
}

// One period, one transaction, synchronous=FULL: the disk's cost of the commit policy. Written
// into the year's file, and taken out again afterwards.
void BM_CommitOnePeriod(benchmark::State& bench) {
  RecordOpening opening = OpenRecordForWriting(Year());
  if (opening.status != RecordOpening::kOpened) {
    bench.SkipWithError("cannot open the year");
    return;
  }
  RecordWriter writer;
  writer.Prepare(opening.db);
  std::mt19937 random(3);
  int64_t index = kYearPeriods;
  for (auto _ : bench) {
    const RecordEvent event = YearPeriod(index++, random);
    if (writer.Write({&event, 1}) != SQLITE_OK) bench.SkipWithError("commit failed");
  }
  opening.db.Execute(("DELETE FROM periods WHERE id > " + std::to_string(kYearPeriods)).c_str());
  opening.db.Execute("DELETE FROM runs WHERE id > 1");
  opening.db.Execute("PRAGMA wal_checkpoint(TRUNCATE)");
}

// Day 180 of the year: 86,400 periods.
ExportRange MiddleDay() {
  ExportRange range;
  range.from_ms = kYearStartMs + 180 * kDayMs;
  range.to_ms = range.from_ms + kDayMs;
  return range;
}

void BM_ExportOneDay(benchmark::State& bench) {
  const ExportFormat format = bench.range(0) == 0 ? ExportFormat::kCsv : ExportFormat::kJson;
  uint64_t bytes = 0, periods = 0;
  for (auto _ : bench) {
    bytes = 0;
    const ExportResult result =
        ExportRecord(Year(), MiddleDay(), format, [&](std::string_view text) {
          bytes += text.size();
          return true;
        });
    periods = result.periods;
    if (result.status != ExportResult::kDone) bench.SkipWithError("export failed");
  }
  bench.SetLabel(format == ExportFormat::kCsv ? "csv" : "json");
  bench.counters["periods"] = static_cast<double>(periods);
  bench.counters["MB"] = static_cast<double>(bytes) / 1e6;
  bench.counters["limit_s"] = kExportLimitS;
}

// Baseline: the same rows stepped through with SQLite, nothing formatted.
void BM_ReadOneDay(benchmark::State& bench) {
  SqliteDatabase db;
  db.Open(Year(), SQLITE_OPEN_READONLY);
  SqliteStatement rows = db.Prepare(
      "SELECT start_ms, end_ms, seconds, counts, cpm, mrhr, usvh, threshold, coincidence, "
      "timingticksperminute, source, run FROM period_values WHERE start_ms >= ?1 AND start_ms "
      "< ?2 ORDER BY start_ms, id");
  int64_t periods = 0;
  for (auto _ : bench) {
    rows.Reset();
    rows.Bind(1, MiddleDay().from_ms).Bind(2, MiddleDay().to_ms);
    periods = 0;
    int64_t sum = 0;
    while (rows.Step() == SQLITE_ROW) {
      sum += rows.Int64(3);
      ++periods;
    }
    benchmark::DoNotOptimize(sum);
  }
  bench.counters["periods"] = static_cast<double>(periods);
}

BENCHMARK(BM_YearOnDisk)->Iterations(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OwnerThreadPerPeriod)
    ->UseManualTime()
    ->Iterations(200000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CommitOnePeriod)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportOneDay)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadOneDay)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
