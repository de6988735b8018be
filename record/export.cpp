// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "record/export.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "core/text_format.h"
#include "record/record_schema.h"
#include "record/sqlite.h"
#include "record/time_text.h"

namespace {

// The text goes to the sink in pieces of about this size.
constexpr size_t kChunkBytes = size_t{64} * 1024;
// Cancel is looked at after this many rows.
constexpr uint64_t kRowsPerCancelCheck = 1024;

enum Column {
  kStart,
  kEnd,
  kSeconds,
  kCounts,
  kCpm,
  kMrhr,
  kUsvh,
  kThreshold,
  kCoincidence,
  kTicks,
  kSource,
  kRun,
};
// The names in the CSV header and the JSON objects, in column order.
constexpr const char* kNames[] = {
    "start",  "end",  "seconds",   "counts",      "cpm",
    "mrhr",   "usvh", "threshold", "coincidence", "timingticksperminute",
    "source", "run"};

constexpr char kQuery[] =
    "SELECT start_ms, end_ms, seconds, counts, cpm, mrhr, usvh, threshold, coincidence, "
    "timingticksperminute, source, run FROM period_values "
    "WHERE start_ms >= ?1 AND start_ms < ?2 ORDER BY start_ms, id";

void AppendInteger(std::string& out, int64_t value) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

// The shortest text that reads back as the same double.
void AppendDouble(std::string& out, double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

void AppendCsvText(std::string& out, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// The length of the valid UTF-8 sequence at the start of `text`, or 0.
size_t Utf8Length(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xbf;  // the allowed range of the second byte
  if (lead < 0x80) return 1;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    if (lead == 0xe0) low = 0xa0;
    if (lead == 0xed) high = 0x9f;  // no surrogates
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xbf) return 0;
  }
  return length;
}

// A JSON string; bytes that are not UTF-8 (a file name may hold any) become U+FFFD.
void AppendJsonText(std::string& out, std::string_view text) {
  out += '"';
  for (size_t at = 0; at < text.size();) {
    const char c = text[at];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
      ++at;
      continue;
    }
    if (static_cast<unsigned char>(c) < 0x20) {
      switch (c) {
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          out += StringPrintf("\\u%04x", static_cast<unsigned>(c));
      }
      ++at;
      continue;
    }
    const size_t length = Utf8Length(text.substr(at));
    if (length == 0) {
      out += "\\ufffd";
      ++at;
    } else {
      out.append(text, at, length);
      at += length;
    }
  }
  out += '"';
}

void AppendValue(std::string& out, const SqliteStatement& row, int column, ExportFormat format) {
  const bool json = format == ExportFormat::kJson;
  if (row.IsNull(column)) {
    if (json) out += "null";
    return;
  }
  switch (column) {
    case kStart:
    case kEnd:
      if (json) out += '"';
      AppendUtcMs(out, row.Int64(column));
      if (json) out += '"';
      break;
    case kCpm:
    case kMrhr:
    case kUsvh:
      AppendDouble(out, row.Double(column));
      break;
    case kCoincidence:
      if (json) {
        out += row.Int64(column) != 0 ? "true" : "false";
      } else {
        AppendInteger(out, row.Int64(column) != 0);
      }
      break;
    case kSource:
      if (json) {
        AppendJsonText(out, row.Text(column));
      } else {
        AppendCsvText(out, row.Text(column));
      }
      break;
    default:
      AppendInteger(out, row.Int64(column));
  }
}

void AppendRow(std::string& out, const SqliteStatement& row, ExportFormat format, bool first) {
  constexpr int kColumns = static_cast<int>(std::size(kNames));
  if (format == ExportFormat::kCsv) {
    for (int column = 0; column < kColumns; ++column) {
      if (column > 0) out += ',';
      AppendValue(out, row, column, format);
    }
    out += "\r\n";
    return;
  }
  out += first ? "\n{" : ",\n{";
  for (int column = 0; column < kColumns; ++column) {
    if (column > 0) out += ',';
    out += '"';
    out += kNames[column];
    out += "\":";
    AppendValue(out, row, column, format);
  }
  out += '}';
}

ExportResult Failed(ExportResult::Status status, std::string detail = {}) {
  ExportResult result;
  result.status = status;
  result.detail = std::move(detail);
  return result;
}

ExportResult OpenForExport(const std::string& path, SqliteDatabase& db) {
  // SQLite would only say that it cannot open the file; the system says why.
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    return Failed(errno == ENOENT ? ExportResult::kNoRecord : ExportResult::kCannotRead,
                  std::strerror(errno));
  }
  if (!S_ISREG(status.st_mode)) return Failed(ExportResult::kCannotRead, "not a file");
  if (db.Open(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX) != SQLITE_OK) {
    return Failed(ExportResult::kCannotRead, db.error_text());
  }
  // A recording program holds the file for a commit now and then; the reader waits for it.
  sqlite3_busy_timeout(db.get(), 5000);
  const RecordKind kind = InspectRecord(db);
  if ((kind.result & 0xff) == SQLITE_NOTADB) return Failed(ExportResult::kNotSqlite);
  if (kind.result != SQLITE_OK) return Failed(ExportResult::kCannotRead, db.error_text());
  if (kind.kind != RecordKind::kRecord) return Failed(ExportResult::kNotRecord);
  if (kind.version > kRecordVersion) {
    ExportResult newer = Failed(ExportResult::kNewer);
    newer.version = kind.version;
    return newer;
  }
  return {};
}

}  // namespace

ExportResult ExportRecord(const std::string& path, ExportRange range, ExportFormat format,
                          const ExportSink& sink, const std::atomic<bool>* cancel) {
  SqliteDatabase db;
  ExportResult result = OpenForExport(path, db);
  if (result.status != ExportResult::kDone) return result;
  int prepared = SQLITE_OK;
  SqliteStatement rows = db.Prepare(kQuery, &prepared);
  if (prepared != SQLITE_OK) return Failed(ExportResult::kCannotRead, db.error_text());
  rows.Bind(1, range.from_ms).Bind(2, range.to_ms);

  std::string out;
  out.reserve(kChunkBytes + 1024);
  const auto flush = [&] {
    if (out.empty() || sink(out)) {
      out.clear();
      return true;
    }
    result = Failed(ExportResult::kWriteFailed, std::strerror(errno));
    return false;
  };
  if (format == ExportFormat::kCsv) {
    for (size_t column = 0; column < std::size(kNames); ++column) {
      if (column > 0) out += ',';
      out += kNames[column];
    }
    out += "\r\n";
  } else {
    out += '[';
  }

  int step = SQLITE_ROW;
  while ((step = rows.Step()) == SQLITE_ROW) {
    AppendRow(out, rows, format, result.periods == 0);
    ++result.periods;
    if (out.size() >= kChunkBytes && !flush()) return result;
    if (cancel != nullptr && result.periods % kRowsPerCancelCheck == 0 && cancel->load()) {
      result.status = ExportResult::kCancelled;
      return result;
    }
  }
  if (step != SQLITE_DONE) {
    const uint64_t periods = result.periods;
    result = Failed(ExportResult::kCannotRead, db.error_text());
    result.periods = periods;
    return result;
  }
  if (format == ExportFormat::kJson) out += result.periods == 0 ? "]\n" : "\n]\n";
  flush();
  return result;
}

std::string ExportProblem(const std::string& path, const ExportResult& result) {
  const char* name = path.c_str();
  switch (result.status) {
    case ExportResult::kDone:
      return {};
    case ExportResult::kNoRecord:
      return StringPrintf("no record at \"%s\" (%s)", name, result.detail.c_str());
    case ExportResult::kCannotRead:
      return StringPrintf("cannot read \"%s\" (%s)", name, result.detail.c_str());
    case ExportResult::kNotSqlite:
      return StringPrintf("\"%s\" is not a SQLite database", name);
    case ExportResult::kNotRecord:
      return StringPrintf("\"%s\" holds no Blipcount record", name);
    case ExportResult::kNewer:
      return StringPrintf(
          "\"%s\" was written by a newer Blipcount (record version %lld, this one knows up to "
          "%lld)",
          name, static_cast<long long>(result.version), static_cast<long long>(kRecordVersion));
    case ExportResult::kWriteFailed:
      return StringPrintf("cannot write the output (%s)", result.detail.c_str());
    case ExportResult::kCancelled:
      return "cancelled";
  }
  return {};
}

ExportFormat ExportFormatForFile(std::string_view name) {
  constexpr std::string_view kJsonEnd = ".json";
  if (name.size() < kJsonEnd.size()) return ExportFormat::kCsv;
  const std::string_view end = name.substr(name.size() - kJsonEnd.size());
  for (size_t i = 0; i < end.size(); ++i) {
    const char c = end[i] >= 'A' && end[i] <= 'Z' ? static_cast<char>(end[i] - 'A' + 'a') : end[i];
    if (c != kJsonEnd[i]) return ExportFormat::kCsv;
  }
  return ExportFormat::kJson;
}
