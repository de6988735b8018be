// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "record/sqlite.h"

#include <sqlite3.h>

#include <utility>

SqliteStatement::~SqliteStatement() { sqlite3_finalize(statement_); }

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(statement_);
    statement_ = std::exchange(other.statement_, nullptr);
  }
  return *this;
}

// A failed bind shows again when the statement is stepped (SQLITE_RANGE or SQLITE_NOMEM), so
// the binds themselves report nothing.
SqliteStatement& SqliteStatement::Bind(int index, int64_t value) {
  sqlite3_bind_int64(statement_, index, value);
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, double value) {
  sqlite3_bind_double(statement_, index, value);
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view text) {
  sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  return *this;
}

SqliteStatement& SqliteStatement::BindNull(int index) {
  sqlite3_bind_null(statement_, index);
  return *this;
}

int SqliteStatement::Step() {
  return statement_ == nullptr ? SQLITE_MISUSE : sqlite3_step(statement_);
}

void SqliteStatement::Reset() {
  // The result repeats the last step's error, which the caller has seen already.
  sqlite3_reset(statement_);
}

int64_t SqliteStatement::Int64(int column) const {
  return sqlite3_column_int64(statement_, column);
}

double SqliteStatement::Double(int column) const {
  return sqlite3_column_double(statement_, column);
}

std::string_view SqliteStatement::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  if (text == nullptr) return {};
  return {text, static_cast<size_t>(sqlite3_column_bytes(statement_, column))};
}

bool SqliteStatement::IsNull(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

SqliteDatabase::~SqliteDatabase() { Close(); }

SqliteDatabase::SqliteDatabase(SqliteDatabase&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)) {}

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept {
  if (this != &other) {
    Close();
    db_ = std::exchange(other.db_, nullptr);
  }
  return *this;
}

int SqliteDatabase::Open(const std::string& path, int flags) {
  Close();
  const int result = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (db_ != nullptr) sqlite3_extended_result_codes(db_, 1);
  return result;
}

void SqliteDatabase::Close() {
  // close_v2 waits for statements still alive to be finalized by their owners, so the order in
  // which a connection and its statements go does not matter.
  sqlite3_close_v2(db_);
  db_ = nullptr;
}

int SqliteDatabase::Execute(const char* sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

SqliteStatement SqliteDatabase::Prepare(std::string_view sql, int* result) {
  sqlite3_stmt* statement = nullptr;
  const int prepared = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                                          SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
  if (result != nullptr) *result = prepared;
  return SqliteStatement(statement);
}

int SqliteDatabase::QueryInt64(const char* sql, int64_t* value) {
  int result = SQLITE_OK;
  SqliteStatement statement = Prepare(sql, &result);
  if (result != SQLITE_OK) return result;
  result = statement.Step();
  if (result == SQLITE_ROW) {
    *value = statement.Int64(0);
    return SQLITE_OK;
  }
  return result == SQLITE_DONE ? SQLITE_NOTFOUND : result;
}

std::string SqliteDatabase::error_text() const {
  return db_ == nullptr ? SqliteErrorText(SQLITE_NOMEM) : sqlite3_errmsg(db_);
}

int SqliteDatabase::extended_error() const {
  return db_ == nullptr ? SQLITE_NOMEM : sqlite3_extended_errcode(db_);
}

std::string SqliteErrorText(int result) { return sqlite3_errstr(result); }
