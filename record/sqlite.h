// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// A small RAII layer over the SQLite C API: a connection and its prepared statements, each
// move-only and finalized or closed when it goes. Functions return SQLite's result codes
// (SQLITE_OK, SQLITE_ROW, SQLITE_DONE, ...); nothing throws. A connection and its statements
// belong to one thread at a time.
class SqliteStatement {
 public:
  SqliteStatement() = default;
  explicit SqliteStatement(sqlite3_stmt* statement) : statement_(statement) {}
  ~SqliteStatement();
  SqliteStatement(SqliteStatement&& other) noexcept;
  SqliteStatement& operator=(SqliteStatement&& other) noexcept;
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  bool valid() const { return statement_ != nullptr; }

  // Parameters count from 1.
  SqliteStatement& Bind(int index, int64_t value);
  SqliteStatement& Bind(int index, double value);
  SqliteStatement& Bind(int index, std::string_view text);
  SqliteStatement& BindNull(int index);

  // SQLITE_ROW while rows come, SQLITE_DONE at the end, an error code otherwise.
  int Step();
  // Makes the statement ready to run again, keeping its bindings.
  void Reset();

  // Columns count from 0.
  int64_t Int64(int column) const;
  double Double(int column) const;
  std::string_view Text(int column) const;
  bool IsNull(int column) const;

 private:
  sqlite3_stmt* statement_ = nullptr;
};

class SqliteDatabase {
 public:
  SqliteDatabase() = default;
  ~SqliteDatabase();
  SqliteDatabase(SqliteDatabase&& other) noexcept;
  SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  // Opens `path` with SQLite's open flags (SQLITE_OPEN_READWRITE, ...); returns the result code.
  // After a failure the connection may still exist, so that error_text() can say why.
  int Open(const std::string& path, int flags);
  void Close();

  bool is_open() const { return db_ != nullptr; }
  sqlite3* get() const { return db_; }

  // Runs one or more statements that return no rows the caller wants.
  int Execute(const char* sql);
  // Prepares one statement; on failure the statement is invalid and `result` says why.
  SqliteStatement Prepare(std::string_view sql, int* result = nullptr);

  // The first column of the first row of a query; nothing on error or no row.
  int QueryInt64(const char* sql, int64_t* value);

  // The connection's last error, as SQLite words it ("database disk image is malformed").
  std::string error_text() const;
  // The extended result code of the last call that failed.
  int extended_error() const;

 private:
  sqlite3* db_ = nullptr;
};

// SQLite's text for a result code.
std::string SqliteErrorText(int result);
