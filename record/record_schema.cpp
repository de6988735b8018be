// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "record/record_schema.h"

#include <sqlite3.h>

#include "core/period.h"
#include "core/text_format.h"

namespace {

// Times are integer milliseconds (UTC), the period's end is its start plus its length, and the
// rates are derived in the view, the way the window computes them, so a row stays small: a year
// of one-second periods fits well under 2 GiB. Rows are found by time through the index.
constexpr char kVersion1[] = R"sql(
CREATE TABLE runs (
  id INTEGER PRIMARY KEY,
  start_ms INTEGER NOT NULL,
  end_ms INTEGER,
  ended TEXT CHECK (ended IN ('done', 'cancelled', 'stopped')),
  source TEXT NOT NULL,
  sampletime INTEGER NOT NULL,
  repeat INTEGER NOT NULL,
  forever INTEGER NOT NULL,
  coincidence INTEGER NOT NULL,
  samplerate INTEGER NOT NULL,
  scrollwidth INTEGER NOT NULL,
  threshold INTEGER NOT NULL,
  scale REAL NOT NULL,
  timingticksperminute INTEGER NOT NULL
);
CREATE TABLE periods (
  id INTEGER PRIMARY KEY,
  run INTEGER NOT NULL REFERENCES runs (id),
  start_ms INTEGER NOT NULL,
  duration_ms INTEGER NOT NULL,
  counts INTEGER NOT NULL,
  threshold INTEGER NOT NULL,
  timingticksperminute INTEGER NOT NULL,
  scale REAL NOT NULL
);
CREATE INDEX periods_by_start ON periods (start_ms);
CREATE TABLE notes (
  id INTEGER PRIMARY KEY,
  at_ms INTEGER NOT NULL,
  run INTEGER REFERENCES runs (id),
  text TEXT NOT NULL
);
CREATE VIEW period_values AS
SELECT p.id AS id, p.run AS run, p.start_ms AS start_ms, p.start_ms + p.duration_ms AS end_ms,
       r.sampletime AS seconds, p.counts AS counts,
       p.counts * (60.0 / max(r.sampletime, 1)) AS cpm,
       p.counts * (60.0 / max(r.sampletime, 1)) / p.scale AS mrhr,
       p.counts * (60.0 / max(r.sampletime, 1)) / p.scale * @USVH@ AS usvh,
       p.threshold AS threshold, r.coincidence AS coincidence,
       p.timingticksperminute AS timingticksperminute, p.scale AS scale, r.source AS source
FROM periods AS p JOIN runs AS r ON r.id = p.run;
)sql";

std::string Version1() {
  std::string sql = kVersion1;
  const std::string factor = StringPrintf("%.1f", kMicroSievertPerHourPerMilliRoentgenPerHour);
  sql.replace(sql.find("@USVH@"), 6, factor);
  return sql;
}

}  // namespace

std::span<const RecordUpgrade> RecordUpgrades() {
  static const std::string version1 = Version1();
  static const RecordUpgrade upgrades[] = {{1, version1.c_str()}};
  return upgrades;
}

RecordKind InspectRecord(SqliteDatabase& db) {
  RecordKind kind;
  int64_t application_id = 0, tables = 0;
  // The first read of the file finds out whether it is a database at all.
  kind.result = db.QueryInt64("PRAGMA application_id", &application_id);
  if (kind.result == SQLITE_OK) kind.result = db.QueryInt64("PRAGMA user_version", &kind.version);
  if (kind.result == SQLITE_OK) {
    kind.result = db.QueryInt64("SELECT count(*) FROM sqlite_schema", &tables);
  }
  if (kind.result != SQLITE_OK) return kind;
  if (application_id == kRecordApplicationId) {
    kind.kind = RecordKind::kRecord;
  } else if (application_id == 0 && kind.version == 0 && tables == 0) {
    kind.kind = RecordKind::kEmpty;
  } else {
    kind.kind = RecordKind::kForeign;
  }
  return kind;
}

int UpgradeRecord(SqliteDatabase& db, int64_t from_version,
                  std::span<const RecordUpgrade> upgrades) {
  int result = db.Execute("BEGIN IMMEDIATE");
  if (result != SQLITE_OK) return result;
  int64_t version = from_version;
  for (const RecordUpgrade& upgrade : upgrades) {
    if (upgrade.version <= version) continue;
    result = db.Execute(upgrade.sql);
    if (result != SQLITE_OK) break;
    version = upgrade.version;
  }
  if (result == SQLITE_OK) {
    result = db.Execute(StringPrintf("PRAGMA application_id = %d; PRAGMA user_version = %lld",
                                     kRecordApplicationId, static_cast<long long>(version))
                            .c_str());
  }
  if (result == SQLITE_OK) result = db.Execute("COMMIT");
  if (result != SQLITE_OK && sqlite3_get_autocommit(db.get()) == 0) {
    // What failed is undone as a whole; a rollback that fails too leaves SQLite to undo it.
    db.Execute("ROLLBACK");
  }
  return result;
}
