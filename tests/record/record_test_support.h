// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

// What the record tests share: the file read back with SQLite's own C API (not the record's
// wrapper), and a listener that keeps what it is told.
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/period.h"

// A connection of the test's own.
class TestDb {
 public:
  explicit TestDb(const std::string& path, int flags = SQLITE_OPEN_READONLY) {
    EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db_, flags, nullptr), SQLITE_OK) << path;
  }
  ~TestDb() { sqlite3_close_v2(db_); }
  TestDb(const TestDb&) = delete;
  TestDb& operator=(const TestDb&) = delete;
  sqlite3* get() const { return db_; }

  // Every row of a query, each value as SQLite gives it as text ("NULL" for a null).
  std::vector<std::vector<std::string>> Rows(const std::string& sql) const {
    std::vector<std::vector<std::string>> rows;
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr), SQLITE_OK)
        << sql << ": " << sqlite3_errmsg(db_);
    while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
        row.emplace_back(text == nullptr ? "NULL" : text);
      }
      rows.push_back(std::move(row));
    }
    sqlite3_finalize(statement);
    return rows;
  }

  // The first column of every row, as a double.
  std::vector<double> Doubles(const std::string& sql) const {
    std::vector<double> values;
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr), SQLITE_OK) << sql;
    while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
      values.push_back(sqlite3_column_double(statement, 0));
    }
    sqlite3_finalize(statement);
    return values;
  }

  std::string Value(const std::string& sql) const {
    const auto rows = Rows(sql);
    return rows.empty() || rows[0].empty() ? std::string("(no row)") : rows[0][0];
  }

 private:
  sqlite3* db_ = nullptr;
};

// Keeps every event, as the record is told it.
class KeepingListener : public PeriodListener {
 public:
  void OnPeriod(const PeriodReport& period) override { periods.push_back(period); }
  void OnRunStart(const RunReport& run) override { runs.push_back(run); }
  void OnRunEnd(int64_t, RunEnd how) override { ends.push_back(how); }
  void OnNotes(int64_t, const std::string& text) override { notes.push_back(text); }

  std::vector<PeriodReport> periods;
  std::vector<RunReport> runs;
  std::vector<RunEnd> ends;
  std::vector<std::string> notes;
};
