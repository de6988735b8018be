// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "record/record_open.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "core/text_format.h"
#include "record/record_schema.h"

namespace {

// How long a write waits for a reader or another writer that holds the file (a sqlite3 shell
// in a transaction) before the batch is put back and tried again later.
constexpr int kBusyTimeoutMs = 2000;

int PrimaryCode(int result) { return result & 0xff; }

RecordOpening Fail(RecordOpening::Status status, std::string detail = {}) {
  RecordOpening opening;
  opening.status = status;
  opening.detail = std::move(detail);
  return opening;
}

RecordOpening TryAgain(int result) {
  RecordOpening opening = Fail(RecordOpening::kTryAgain, SqliteErrorText(result));
  opening.result = result;
  return opening;
}

// A write that SQLite refused as read-only: the file's own mode, or its folder, which must take
// the write-ahead log and its index beside the file.
RecordOpening ReadOnly(const std::string& path) {
  if (access(path.c_str(), W_OK) != 0) return Fail(RecordOpening::kReadOnlyFile);
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  const std::filesystem::path folder = parent.empty() ? std::filesystem::path(".") : parent;
  if (access(folder.c_str(), W_OK) != 0) return Fail(RecordOpening::kReadOnlyFolder);
  return Fail(RecordOpening::kReadOnlyFile);
}

// The status for an error met while reading or setting up the file.
RecordOpening FromSqlite(const std::string& path, int result, const std::string& text) {
  switch (PrimaryCode(result)) {
    case SQLITE_NOTADB:
      return Fail(RecordOpening::kNotSqlite);
    case SQLITE_CORRUPT:
      return Fail(RecordOpening::kDamaged, text);
    case SQLITE_READONLY:
    case SQLITE_PERM:
      return ReadOnly(path);
    default:
      if (IsPassingSqliteError(result)) return TryAgain(result);
      return Fail(RecordOpening::kCannotOpen, text);
  }
}

// The file itself, opened (or made) by us before SQLite opens it, for the lock. A missing file
// is created empty here: SQLite takes an empty file as a new database.
int OpenRecordFile(const std::string& path, RecordOpening& failure) {
  // Non-blocking, so a pipe of that name cannot hold the writer up.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0 && errno == ENOENT) {
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0 && errno == EEXIST) return OpenRecordFile(path, failure);
    if (fd < 0) {
      failure = Fail(RecordOpening::kCannotCreate, std::strerror(errno));
      return -1;
    }
  }
  if (fd < 0) {
    failure = Fail(RecordOpening::kCannotOpen, std::strerror(errno));
    return -1;
  }
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    failure = Fail(RecordOpening::kNotFile);
    return -1;
  }
  return fd;
}

}  // namespace

RecordLock::~RecordLock() {
  // Closing the descriptor releases the flock.
  if (fd_ >= 0) close(fd_);
}

RecordLock::RecordLock(RecordLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

RecordLock& RecordLock::operator=(RecordLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool IsPassingSqliteError(int result) {
  const int code = PrimaryCode(result);
  return code == SQLITE_FULL || code == SQLITE_BUSY || code == SQLITE_LOCKED ||
         code == SQLITE_IOERR;
}

RecordOpening OpenRecordForWriting(const std::string& path) {
  RecordOpening failure;
  const int fd = OpenRecordFile(path, failure);
  if (fd < 0) return failure;
  RecordLock lock(fd);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    return Fail(RecordOpening::kLocked);
  }
  // A file system without flock (ENOLCK) records all the same, unguarded.

  SqliteDatabase db;
  const int opened = db.Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
  if (opened != SQLITE_OK) return FromSqlite(path, opened, db.error_text());
  sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);

  // Only reads until the file is known to be ours or empty.
  const RecordKind kind = InspectRecord(db);
  if (kind.result != SQLITE_OK) return FromSqlite(path, kind.result, db.error_text());
  if (kind.kind == RecordKind::kForeign) return Fail(RecordOpening::kForeign);
  if (kind.kind == RecordKind::kRecord && kind.version > kRecordVersion) {
    RecordOpening newer = Fail(RecordOpening::kNewer);
    newer.version = kind.version;
    return newer;
  }
  if (sqlite3_db_readonly(db.get(), "main") == 1) return ReadOnly(path);

  // The journal mode is kept in the file; setting it again on a record costs nothing.
  SqliteStatement wal = db.Prepare("PRAGMA journal_mode = WAL");
  int result = wal.Step();
  if (result != SQLITE_ROW) return FromSqlite(path, result, db.error_text());
  if (wal.Text(0) != "wal") {
    return Fail(RecordOpening::kCannotOpen, "it cannot keep a write-ahead log");
  }
  wal = SqliteStatement();
  result = db.Execute("PRAGMA synchronous = FULL");
  if (result != SQLITE_OK) return FromSqlite(path, result, db.error_text());

  if (kind.kind == RecordKind::kEmpty || kind.version < kRecordVersion) {
    result = UpgradeRecord(db, kind.kind == RecordKind::kEmpty ? 0 : kind.version);
    if (result != SQLITE_OK) return FromSqlite(path, result, SqliteErrorText(result));
  }

  RecordOpening opening;
  opening.status = RecordOpening::kOpened;
  opening.version = kRecordVersion;
  opening.db = std::move(db);
  opening.lock = std::move(lock);
  return opening;
}

std::string RecordOpeningProblem(const std::string& path, const RecordOpening& opening) {
  const char* name = path.c_str();
  constexpr char kLeftAlone[] = "it is left as it is, and counting goes on without recording.";
  constexpr char kNoRecording[] = "counting goes on without recording.";
  switch (opening.status) {
    case RecordOpening::kNotFile:
      return StringPrintf("Record: \"%s\" is not a file; %s", name, kNoRecording);
    case RecordOpening::kCannotCreate:
      return StringPrintf("Record: cannot create \"%s\" (%s); %s", name, opening.detail.c_str(),
                          kNoRecording);
    case RecordOpening::kCannotOpen:
      return StringPrintf("Record: cannot open \"%s\" (%s); %s", name, opening.detail.c_str(),
                          kLeftAlone);
    case RecordOpening::kLocked:
      return StringPrintf("Record: \"%s\" is in use by another running Blipcount; %s", name,
                          kNoRecording);
    case RecordOpening::kNotSqlite:
      return StringPrintf("Record: \"%s\" is not a SQLite database; %s", name, kLeftAlone);
    case RecordOpening::kDamaged:
      return StringPrintf("Record: \"%s\" is damaged (%s); %s", name, opening.detail.c_str(),
                          kLeftAlone);
    case RecordOpening::kForeign:
      return StringPrintf("Record: \"%s\" is another program's SQLite database; %s", name,
                          kLeftAlone);
    case RecordOpening::kNewer:
      return StringPrintf(
          "Record: \"%s\" was written by a newer Blipcount (record version %lld, this one knows "
          "up to %lld); %s",
          name, static_cast<long long>(opening.version), static_cast<long long>(kRecordVersion),
          kLeftAlone);
    case RecordOpening::kReadOnlyFile:
      return StringPrintf("Record: \"%s\" is read-only; %s", name, kNoRecording);
    case RecordOpening::kReadOnlyFolder:
      return StringPrintf(
          "Record: the folder of \"%s\" is read-only, so the record's journal cannot be written "
          "beside it; %s",
          name, kNoRecording);
    case RecordOpening::kOpened:
    case RecordOpening::kTryAgain:
      break;
  }
  return {};
}
