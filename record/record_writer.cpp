// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "record/record_writer.h"

#include <sqlite3.h>

#include <utility>

#include "core/counter_state.h"

namespace {

const char* EndedText(RunEnd how) {
  switch (how) {
    case RunEnd::kDone:
      return "done";
    case RunEnd::kCancelled:
      return "cancelled";
    case RunEnd::kStopped:
      break;
  }
  return "stopped";
}

bool Fits(const RunReport& run, const PeriodReport& period) {
  return run.sampletime == period.seconds && run.coincidence == period.coincidence &&
         run.forever == period.forever && run.source == period.source;
}

RunReport RunOfPeriod(const PeriodReport& period) {
  RunReport run;
  run.start_ms = period.start_ms;
  run.sampletime = period.seconds;
  run.repeat = period.forever ? FOREVER_REPEAT : 0;
  run.forever = period.forever;
  run.coincidence = period.coincidence;
  run.threshold = period.threshold;
  run.scale = period.scale;
  run.timingticksperminute = period.timingticksperminute;
  run.source = period.source;
  return run;
}

}  // namespace

int RecordWriter::Prepare(SqliteDatabase& db) {
  db_ = &db;
  struct Entry {
    SqliteStatement* statement;
    const char* sql;
  };
  const Entry entries[] = {
      {&begin_, "BEGIN IMMEDIATE"},
      {&commit_, "COMMIT"},
      {&rollback_, "ROLLBACK"},
      {&insert_run_,
       "INSERT INTO runs (start_ms, source, sampletime, repeat, forever, coincidence, samplerate, "
       "scrollwidth, threshold, scale, timingticksperminute) "
       "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)"},
      {&end_run_, "UPDATE runs SET end_ms = ?1, ended = ?2 WHERE id = ?3"},
      {&insert_period_,
       "INSERT INTO periods (run, start_ms, duration_ms, counts, threshold, "
       "timingticksperminute, scale) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)"},
      {&insert_notes_, "INSERT INTO notes (at_ms, run, text) VALUES (?1, ?2, ?3)"},
  };
  for (const Entry& entry : entries) {
    int result = SQLITE_OK;
    *entry.statement = db.Prepare(entry.sql, &result);
    if (result != SQLITE_OK) return result;
  }
  return SQLITE_OK;
}

int RecordWriter::Run(SqliteStatement& statement) {
  const int result = statement.Step();
  statement.Reset();
  return result == SQLITE_DONE || result == SQLITE_ROW ? SQLITE_OK : result;
}

int RecordWriter::Write(std::span<const RecordEvent> events) {
  const bool was_open = run_open_;
  const int64_t was_id = run_id_;
  const RunReport was_run = run_;

  int result = Run(begin_);
  for (size_t i = 0; result == SQLITE_OK && i < events.size(); ++i) {
    result = std::visit([this](const auto& event) { return Apply(event); }, events[i]);
  }
  if (result == SQLITE_OK) result = Run(commit_);
  if (result == SQLITE_OK) return result;

  // SQLite may have rolled back already (a full disk does that); otherwise undo it here.
  if (sqlite3_get_autocommit(db_->get()) == 0) Run(rollback_);
  run_open_ = was_open;
  run_id_ = was_id;
  run_ = was_run;
  return result;
}

int RecordWriter::EndOpenRun(int64_t end_ms, RunEnd how) {
  if (!run_open_) return SQLITE_OK;
  run_open_ = false;
  end_run_.Bind(1, end_ms).Bind(2, std::string_view(EndedText(how))).Bind(3, run_id_);
  return Run(end_run_);
}

int RecordWriter::Apply(const RunReport& run) {
  int result = EndOpenRun(run.start_ms, RunEnd::kStopped);
  if (result != SQLITE_OK) return result;
  insert_run_.Bind(1, run.start_ms)
      .Bind(2, std::string_view(run.source))
      .Bind(3, int64_t{run.sampletime})
      .Bind(4, int64_t{run.repeat})
      .Bind(5, int64_t{run.forever})
      .Bind(6, int64_t{run.coincidence})
      .Bind(7, int64_t{run.samplerate})
      .Bind(8, int64_t{run.scrollwidth})
      .Bind(9, int64_t{run.threshold})
      .Bind(10, run.scale)
      .Bind(11, int64_t{run.timingticksperminute});
  result = Run(insert_run_);
  if (result != SQLITE_OK) return result;
  run_open_ = true;
  run_id_ = sqlite3_last_insert_rowid(db_->get());
  run_ = run;
  return SQLITE_OK;
}

int RecordWriter::Apply(const PeriodReport& period) {
  if (!run_open_ || !Fits(run_, period)) {
    const int result = Apply(RunOfPeriod(period));
    if (result != SQLITE_OK) return result;
  }
  insert_period_.Bind(1, run_id_)
      .Bind(2, period.start_ms)
      .Bind(3, period.end_ms - period.start_ms)
      .Bind(4, int64_t{period.counts})
      .Bind(5, int64_t{period.threshold})
      .Bind(6, int64_t{period.timingticksperminute})
      .Bind(7, period.scale);
  return Run(insert_period_);
}

int RecordWriter::Apply(const RunEndEvent& end) { return EndOpenRun(end.end_ms, end.how); }

int RecordWriter::Apply(const NotesEvent& notes) {
  insert_notes_.Bind(1, notes.at_ms);
  if (run_open_) {
    insert_notes_.Bind(2, run_id_);
  } else {
    insert_notes_.BindNull(2);
  }
  insert_notes_.Bind(3, std::string_view(notes.text));
  return Run(insert_notes_);
}
