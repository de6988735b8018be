// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>

enum class ExportFormat {
  kCsv,   // RFC 4180: a header row, then one row per period, CRLF line ends
  kJson,  // one array of objects, one per period
};

// The periods whose start lies in [from_ms, to_ms), UTC milliseconds: a range ending where the
// next begins holds no period twice.
struct ExportRange {
  int64_t from_ms = std::numeric_limits<int64_t>::min();
  int64_t to_ms = std::numeric_limits<int64_t>::max();
};

// Takes the export's text a piece at a time; false when the piece could not be written (errno
// says why).
using ExportSink = std::function<bool(std::string_view)>;

struct ExportResult {
  enum Status {
    kDone,
    kNoRecord,     // no such file (`detail`: the system's words)
    kCannotRead,   // it cannot be opened or read (`detail`: why)
    kNotSqlite,    // not a SQLite database
    kNotRecord,    // a SQLite database, but no record of ours
    kNewer,        // a record of a newer version (`version`)
    kWriteFailed,  // the output could not be written (`detail`: the system's words)
    kCancelled,
  };
  Status status = kDone;
  uint64_t periods = 0;  // written so far
  std::string detail;
  int64_t version = 0;
};

// Writes the periods of `range` from the record at `path`, oldest first, to `sink`. Opens the
// file read-only: it never creates, changes or locks out a record, so it runs beside a
// recording program. `cancel`, when set, stops it between rows.
ExportResult ExportRecord(const std::string& path, ExportRange range, ExportFormat format,
                          const ExportSink& sink, const std::atomic<bool>* cancel = nullptr);

// What went wrong, for a message ("no record at \"x.db\" (No such file or directory)"); empty
// for kDone.
std::string ExportProblem(const std::string& path, const ExportResult& result);

// The export's format for a file name: JSON for a name ending in ".json", CSV otherwise.
ExportFormat ExportFormatForFile(std::string_view name);
