// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "core/period.h"
#include "record/sqlite.h"

// What the record is told, in the order it happened.
struct RunEndEvent {
  int64_t end_ms = 0;
  RunEnd how = RunEnd::kDone;
};
struct NotesEvent {
  int64_t at_ms = 0;
  std::string text;
};
using RecordEvent = std::variant<RunReport, PeriodReport, RunEndEvent, NotesEvent>;

// Appends events to an open record, a batch at a time, each batch one transaction. Not
// thread-safe: the recorder's writer thread (or a benchmark) owns it with its connection.
//
// A period that comes without a run open, or that does not fit the open run (another length,
// source or channel count), opens a run of its own from the period's values, so every row has a
// run whose constants are the period's; the run's settings it cannot know are 0.
class RecordWriter {
 public:
  // Prepares the statements on `db`, which must outlive the writer; SQLITE_OK when ready.
  int Prepare(SqliteDatabase& db);

  // Writes the batch in one transaction and commits it. On failure nothing of it is kept, in
  // the file or in the writer, so the same batch may be written again; returns the result code.
  int Write(std::span<const RecordEvent> events);

  // The run periods are written into (0: none).
  int64_t open_run() const { return run_open_ ? run_id_ : 0; }

 private:
  int Apply(const RunReport& run);
  int Apply(const PeriodReport& period);
  int Apply(const RunEndEvent& end);
  int Apply(const NotesEvent& notes);
  int EndOpenRun(int64_t end_ms, RunEnd how);
  static int Run(SqliteStatement& statement);

  SqliteDatabase* db_ = nullptr;
  SqliteStatement begin_, commit_, rollback_;
  SqliteStatement insert_run_, end_run_, insert_period_, insert_notes_;
  bool run_open_ = false;
  int64_t run_id_ = 0;
  RunReport run_;
};
