// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// A record the program cannot or must not write: each case gets one log line that says so, the
// user's file stays byte for byte as it was, and a full disk is waited out.
#include <fcntl.h>
#include <grp.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/text_format.h"
#include "period_samples.h"
#include "record/recorder.h"
#include "record_test_support.h"
#include "support/temp_dir.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using Lines = std::vector<std::string>;

constexpr uid_t kNobody = 65534;

class LogLines {
 public:
  Recorder::LogFunction Function() {
    return [this](std::string line) {
      std::lock_guard lock(mutex_);
      lines_.push_back(std::move(line));
    };
  }
  Lines Take() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  // Waits until `count` lines have come.
  bool WaitFor(size_t count) const {
    for (int i = 0; i < 1000; ++i) {
      if (Take().size() >= count) return true;
      std::this_thread::sleep_for(milliseconds(10));
    }
    return false;
  }

 private:
  mutable std::mutex mutex_;
  Lines lines_;
};

// A record as the program leaves it, with one run of `periods` periods.
void MakeRecord(const std::string& path, int periods = 1) {
  Recorder recorder({.path = path}, nullptr);
  recorder.OnRunStart(RunOfOneSecondPeriods(0));
  for (int i = 0; i < periods; ++i) recorder.OnPeriod(OneSecondPeriod(i * 1000, 10 + i));
  ASSERT_TRUE(recorder.WaitUntilWritten(seconds(10)));
}

void Sql(const std::string& path, const char* sql) {
  TestDb db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  ASSERT_EQ(sqlite3_exec(db.get(), sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
}

// A recorder's whole life on `path`: a run and a period offered, and what it logged.
Lines RecordOnce(const std::string& path) {
  LogLines log;
  {
    Recorder recorder({.path = path}, log.Function());
    recorder.OnRunStart(RunOfOneSecondPeriods(50000));
    recorder.OnPeriod(OneSecondPeriod(50000, 3));
    EXPECT_TRUE(recorder.WaitUntilWritten(seconds(10)));
    EXPECT_EQ(recorder.status(), Recorder::Status::kOff);
  }
  return log.Take();
}

// Root writes to read-only files and folders, so the cases about them run as nobody, in a child
// process, when the tests run as root. Returns the lines the child's recorder logged.
Lines RecordOnceUnprivileged(const std::string& path) {
  if (geteuid() != 0) return RecordOnce(path);
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(3);
    std::string text;
    for (const std::string& line : RecordOnce(path)) text += line + "\n";
    const bool written = write(fds[1], text.data(), text.size()) == ssize_t(text.size());
    _exit(written && !::testing::Test::HasFailure() ? 0 : 4);
  }
  close(fds[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  Lines lines;
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

void GiveToNobody(const std::string& path) {
  if (geteuid() == 0) {
    ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0) << path;
  }
}

struct ProblemCase {
  const char* name;
  // Leaves the folder and the file as a user might; `dir` is the record's folder.
  std::function<void(const std::string& dir, const std::string& path)> make;
  bool about_modes;  // runs as a user that the modes apply to
  const char* line;  // with %s for the path
};

TEST(RecordProblems, EachGetsOneLineAndTheFileIsLeftAsItWas) {
  const ProblemCase cases[] = {
      {"a user's text file",
       [](const std::string&, const std::string& path) {
         WriteText(path, "Readings by hand, 3 March:\n12 14 11 9\n");
       },
       false,
       "Record: \"%s\" is not a SQLite database; it is left as it is, and counting goes on "
       "without recording."},
      {"a damaged record",
       [](const std::string&, const std::string& path) {
         MakeRecord(path, 50);
         // The first page after the file header: the table of the tables.
         std::string bytes = ReadText(path);
         for (size_t i = 100; i < 1000; ++i) bytes[i] = static_cast<char>(0xA5);
         WriteText(path, bytes);
       },
       false,
       "Record: \"%s\" is damaged (database disk image is malformed); it is left as it is, and "
       "counting goes on without recording."},
      {"another program's database",
       [](const std::string&, const std::string& path) {
         Sql(path,
             "CREATE TABLE readings (at TEXT, cpm REAL); INSERT INTO readings VALUES "
             "('today', 30.5)");
       },
       false,
       "Record: \"%s\" is another program's SQLite database; it is left as it is, and counting "
       "goes on without recording."},
      {"a record of a newer version",
       [](const std::string&, const std::string& path) {
         MakeRecord(path);
         Sql(path, "PRAGMA user_version = 7");
       },
       false,
       "Record: \"%s\" was written by a newer Blipcount (record version 7, this one knows up to "
       "1); it is left as it is, and counting goes on without recording."},
      {"a folder of that name",
       [](const std::string&, const std::string& path) { std::filesystem::create_directory(path); },
       false, "Record: \"%s\" is not a file; counting goes on without recording."},
      {"a read-only record",
       [](const std::string& dir, const std::string& path) {
         MakeRecord(path);
         GiveToNobody(dir);
         GiveToNobody(path);
         chmod(path.c_str(), 0444);
       },
       true, "Record: \"%s\" is read-only; counting goes on without recording."},
      {"a read-only folder with no record yet",
       [](const std::string& dir, const std::string&) {
         GiveToNobody(dir);
         chmod(dir.c_str(), 0555);
       },
       true,
       "Record: cannot create \"%s\" (Permission denied); counting goes on without recording."},
      {"a read-only folder with a record",
       [](const std::string& dir, const std::string& path) {
         MakeRecord(path);
         GiveToNobody(dir);
         GiveToNobody(path);
         chmod(dir.c_str(), 0555);
       },
       true,
       "Record: the folder of \"%s\" is read-only, so the record's journal cannot be written "
       "beside it; counting goes on without recording."},
  };
  for (const ProblemCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp;
    chmod(temp.path().c_str(), 0755);  // for the cases that run as nobody
    const std::string dir = temp.File("station");
    std::filesystem::create_directory(dir);
    const std::string path = dir + "/blipcount.db";
    c.make(dir, path);
    const bool regular = std::filesystem::is_regular_file(path);
    const std::string before = regular ? ReadText(path) : "";
    const auto files_before = std::distance(std::filesystem::directory_iterator(dir), {});

    const Lines lines = c.about_modes ? RecordOnceUnprivileged(path) : RecordOnce(path);
    EXPECT_EQ(lines, Lines{StringPrintf(c.line, path.c_str())});
    if (regular) {
      EXPECT_EQ(ReadText(path), before);
    }
    EXPECT_EQ(std::filesystem::exists(path), regular || c.about_modes == false);
    if (!c.about_modes) {
      // Nothing was made beside it either: no journal, no write-ahead log.
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), files_before);
    }
    chmod(dir.c_str(), 0755);
  }
}

// A second program on the same record finds it taken and leaves it to the first, which goes on.
TEST(RecordProblems, ARecordInUseByAnotherBlipcount) {
  TempDir dir;
  const std::string path = dir.File("blipcount.db");
  LogLines first_log;
  Recorder first({.path = path}, first_log.Function());
  first.OnRunStart(RunOfOneSecondPeriods(0));
  first.OnPeriod(OneSecondPeriod(0, 5));
  ASSERT_TRUE(first.WaitUntilWritten(seconds(10)));

  EXPECT_EQ(RecordOnce(path),
            Lines{StringPrintf("Record: \"%s\" is in use by another running Blipcount; counting "
                               "goes on without recording.",
                               path.c_str())});
  first.OnPeriod(OneSecondPeriod(1000, 6));
  ASSERT_TRUE(first.WaitUntilWritten(seconds(10)));
  EXPECT_EQ(first.status(), Recorder::Status::kRecording);
  EXPECT_EQ(first_log.Take(), Lines{});
  TestDb db(path);
  EXPECT_EQ(db.Rows("SELECT run, counts FROM periods ORDER BY id"),
            (std::vector<Lines>{{"1", "5"}, {"1", "6"}}));
}

// A file system that fills up on demand: SQLite's own VFS underneath, with every write refused
// as a full disk while `full` is set. Registered as the default while a test uses it.
class FullDiskVfs {
 public:
  static std::atomic<bool> full;

  FullDiskVfs() {
    base_ = sqlite3_vfs_find(nullptr);
    vfs_ = *base_;
    vfs_.zName = "full-disk";
    vfs_.szOsFile = static_cast<int>(sizeof(File)) + base_->szOsFile;
    vfs_.pAppData = base_;
    vfs_.xOpen = Open;
    EXPECT_EQ(sqlite3_vfs_register(&vfs_, 1), SQLITE_OK);
  }
  ~FullDiskVfs() {
    sqlite3_vfs_unregister(&vfs_);
    sqlite3_vfs_register(base_, 1);
    full = false;
  }

 private:
  struct File {
    sqlite3_file file;
    sqlite3_file* real;  // the base VFS's file, in the bytes after this
  };
  static sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<File*>(file)->real; }

  static int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags,
                  int* out_flags) {
    auto* base = static_cast<sqlite3_vfs*>(vfs->pAppData);
    auto* shim = reinterpret_cast<File*>(file);
    shim->real = reinterpret_cast<sqlite3_file*>(shim + 1);
    const int result = base->xOpen(base, name, shim->real, flags, out_flags);
    file->pMethods = shim->real->pMethods != nullptr ? &kMethods : nullptr;
    return result;
  }

  static int Close(sqlite3_file* f) { return Real(f)->pMethods->xClose(Real(f)); }
  static int Read(sqlite3_file* f, void* data, int amount, sqlite3_int64 offset) {
    return Real(f)->pMethods->xRead(Real(f), data, amount, offset);
  }
  static int Write(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
    if (full) return SQLITE_FULL;
    return Real(f)->pMethods->xWrite(Real(f), data, amount, offset);
  }
  static int Truncate(sqlite3_file* f, sqlite3_int64 size) {
    return Real(f)->pMethods->xTruncate(Real(f), size);
  }
  static int Sync(sqlite3_file* f, int flags) { return Real(f)->pMethods->xSync(Real(f), flags); }
  static int FileSize(sqlite3_file* f, sqlite3_int64* size) {
    return Real(f)->pMethods->xFileSize(Real(f), size);
  }
  static int Lock(sqlite3_file* f, int level) { return Real(f)->pMethods->xLock(Real(f), level); }
  static int Unlock(sqlite3_file* f, int level) {
    return Real(f)->pMethods->xUnlock(Real(f), level);
  }
  static int CheckReservedLock(sqlite3_file* f, int* out) {
    return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
  }
  static int FileControl(sqlite3_file* f, int op, void* arg) {
    return Real(f)->pMethods->xFileControl(Real(f), op, arg);
  }
  static int SectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
  static int DeviceCharacteristics(sqlite3_file* f) {
    return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
  }
  static int ShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
    return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, out);
  }
  static int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
    return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
  }
  static void ShmBarrier(sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); }
  static int ShmUnmap(sqlite3_file* f, int remove) {
    return Real(f)->pMethods->xShmUnmap(Real(f), remove);
  }

  // Version 2: the write-ahead log's shared memory, no memory-mapped reads.
  static constexpr sqlite3_io_methods kMethods = {2,
                                                  Close,
                                                  Read,
                                                  Write,
                                                  Truncate,
                                                  Sync,
                                                  FileSize,
                                                  Lock,
                                                  Unlock,
                                                  CheckReservedLock,
                                                  FileControl,
                                                  SectorSize,
                                                  DeviceCharacteristics,
                                                  ShmMap,
                                                  ShmLock,
                                                  ShmBarrier,
                                                  ShmUnmap,
                                                  nullptr,
                                                  nullptr};

  sqlite3_vfs* base_ = nullptr;
  sqlite3_vfs vfs_{};
};
std::atomic<bool> FullDiskVfs::full{false};

struct FullDiskCase {
  const char* name;
  bool full_from_the_start;  // before the file is even made a record
};

// The disk fills up: one line, the periods wait in memory (as many as are kept), and recording
// resumes by itself, in order, when there is room again.
TEST(RecordProblems, AFullDiskIsWaitedOut) {
  for (const FullDiskCase& c :
       {FullDiskCase{"in mid-run", false}, FullDiskCase{"before the record is made", true}}) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("blipcount.db");
    FullDiskVfs vfs;
    FullDiskVfs::full = c.full_from_the_start;
    LogLines log;
    Recorder recorder({.path = path, .retry_interval = milliseconds(10), .max_waiting = 6},
                      log.Function());
    int64_t at = 0;
    int32_t counts = 0;
    const auto period = [&] { recorder.OnPeriod(OneSecondPeriod(at += 1000, ++counts)); };
    recorder.OnRunStart(RunOfOneSecondPeriods(0));
    if (!c.full_from_the_start) {
      period();
      period();
      ASSERT_TRUE(recorder.WaitUntilWritten(seconds(10)));
      FullDiskVfs::full = true;
    }
    period();
    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_EQ(recorder.status(), Recorder::Status::kWaiting);
    // The disk stays full: what waits fills what is kept, which is said once.
    for (int i = 0; i < 8; ++i) period();
    ASSERT_TRUE(log.WaitFor(2));
    EXPECT_FALSE(recorder.WaitUntilWritten(milliseconds(50)));

    FullDiskVfs::full = false;
    ASSERT_TRUE(recorder.WaitUntilWritten(seconds(10)));
    EXPECT_EQ(recorder.status(), Recorder::Status::kRecording);
    period();
    ASSERT_TRUE(recorder.WaitUntilWritten(seconds(10)));

    // Six entries wait: from the start, the run and five periods; in mid-run, six periods.
    const int32_t waited = c.full_from_the_start ? 5 : 6;
    const int32_t last_waited = (c.full_from_the_start ? 0 : 2) + waited;
    EXPECT_EQ(log.Take(),
              (Lines{StringPrintf("Record: the disk is full; counting goes on, and the periods "
                                  "wait in memory until \"%s\" can take them.",
                                  path.c_str()),
                     StringPrintf("Record: 6 entries are waiting, as many as are kept in memory; "
                                  "newer periods are not recorded until \"%s\" can take them.",
                                  path.c_str()),
                     StringPrintf("Record: recording to \"%s\" again; the %d periods that "
                                  "waited are written, %d more were not recorded.",
                                  path.c_str(), waited, 9 - waited)}));
    TestDb db(path);
    EXPECT_EQ(db.Value("PRAGMA integrity_check"), "ok");
    // Every period kept is there, in order, and the one after the disk had room.
    std::vector<Lines> expected;
    for (int32_t n = 1; n <= counts; ++n) {
      if (n > last_waited && n < counts) continue;
      expected.push_back({"1", std::to_string(n)});
    }
    EXPECT_EQ(db.Rows("SELECT run, counts FROM periods ORDER BY id"), expected);
  }
}

}  // namespace
