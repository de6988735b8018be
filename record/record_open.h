// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <string>

#include "record/sqlite.h"

// Holds an exclusive flock(2) on the record file for as long as it lives, so that a second
// running Blipcount finds the record taken. It is a lock of its own kind, apart from SQLite's
// fcntl locks, so readers (the export, the sqlite3 shell) are not kept out. Move-only.
class RecordLock {
 public:
  RecordLock() = default;
  explicit RecordLock(int fd) : fd_(fd) {}
  ~RecordLock();
  RecordLock(RecordLock&& other) noexcept;
  RecordLock& operator=(RecordLock&& other) noexcept;
  RecordLock(const RecordLock&) = delete;
  RecordLock& operator=(const RecordLock&) = delete;

 private:
  int fd_ = -1;
};

// How opening the record for writing went.
struct RecordOpening {
  enum Status {
    kOpened,          // ready: a record of this version, in WAL mode, locked for us
    kTryAgain,        // the disk is full or the file busy: nothing changed; try later
    kNotFile,         // the path names a folder, a device or a pipe
    kCannotCreate,    // there is no file and none can be made (`detail`: why)
    kCannotOpen,      // the file cannot be opened or read (`detail`: why)
    kLocked,          // another running Blipcount holds it
    kNotSqlite,       // not a SQLite database (a text file, say)
    kDamaged,         // a SQLite database whose pages are damaged (`detail`: SQLite's words)
    kForeign,         // another program's SQLite database
    kNewer,           // a record of a newer version (`version`)
    kReadOnlyFile,    // the file cannot be written
    kReadOnlyFolder,  // the file can, but its folder cannot take the write-ahead log
  };
  Status status = kCannotOpen;
  std::string detail;
  int64_t version = 0;
  int result = 0;  // for kTryAgain: SQLite's result code
  // Valid when kOpened. The database is closed before the lock is released.
  RecordLock lock;
  SqliteDatabase db;
};

// Opens `path` for appending, creating a new record where there is no file, upgrading an older
// record in place. A file that is not a record of this or an older version is never written to:
// it is left byte for byte as it was. Blocks on the disk: call it on the writer thread.
RecordOpening OpenRecordForWriting(const std::string& path);

// The log line for an opening that did not succeed (not for kOpened or kTryAgain): what
// happened and that counting goes on without recording.
std::string RecordOpeningProblem(const std::string& path, const RecordOpening& opening);

// Whether a failed write may succeed later without anyone's help (a full disk, a file another
// program holds for a while, an I/O error of a disk that may come back).
bool IsPassingSqliteError(int result);
