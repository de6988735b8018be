// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "record/sqlite.h"

// The record's file format. A record is a SQLite database marked with our application id; its
// `PRAGMA user_version` is the schema version. A file of an older version is upgraded in place
// by the steps from its version on, in one transaction; a file of a newer version is refused.
//
// Version 1:
//   runs     one row per run (Start to Done/Cancel, or a Read File): its start and end, how it
//            ended, its source, and the settings in force at its start
//   periods  one row per period: its run, start (UTC ms) and length in ms, counts, and the
//            settings that may change in mid-run (threshold, sensitivity, timing ticks)
//   notes    the comment editor's text each time it was accepted
//   period_values  a view of every period with its derived values (end, seconds, CPM, mR/hr,
//            µSv/h, coincidence, source), as the window showed them
inline constexpr int32_t kRecordApplicationId = 0x426c6970;  // "Blip"
inline constexpr int64_t kRecordVersion = 1;

// One upgrade: the SQL that takes a record from the version before to `version`.
struct RecordUpgrade {
  int64_t version;
  const char* sql;
};

// Every step from an empty file to kRecordVersion, in order.
std::span<const RecordUpgrade> RecordUpgrades();

// What an open database holds, as far as the record is concerned.
struct RecordKind {
  enum Kind {
    kEmpty,    // no tables, no marks: a new file, ready to become a record
    kRecord,   // ours, at `version`
    kForeign,  // another program's database
  };
  Kind kind = kEmpty;
  int64_t version = 0;
  int result = 0;  // SQLITE_OK, or the error met while looking (SQLITE_NOTADB, SQLITE_CORRUPT)
};
RecordKind InspectRecord(SqliteDatabase& db);

// Takes an empty file or an older record to the last version of `upgrades`, all steps in one
// transaction that also sets the application id and the version. Returns the result code; on
// failure the file is as it was.
int UpgradeRecord(SqliteDatabase& db, int64_t from_version,
                  std::span<const RecordUpgrade> upgrades = RecordUpgrades());
