// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "record/export_command.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <string_view>

#include "core/config.h"
#include "files/config_file.h"
#include "record/export.h"
#include "record/time_text.h"

namespace {

constexpr char kUsage[] =
    "usage: blipcount export [--from T] [--to T] [--format csv|json] [--database PATH]\n"
    "Writes the recorded periods that start at or after --from and before --to to standard\n"
    "output. T is an ISO 8601 time (2026-03-01, 2026-03-01T12:00:00Z; UTC unless a zone is\n"
    "given), \"now\", or a span back from now: -30m, -24h, -7d, -2w.\n";

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Writes all of `text` to `fd`, through interruptions, short writes and a non-blocking output.
bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = write(fd, text.data(), text.size());
    if (written > 0) {
      text.remove_prefix(static_cast<size_t>(written));
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd ready{fd, POLLOUT, 0};
      poll(&ready, 1, -1);  // the next write says what went wrong, if anything did
      continue;
    }
    return false;
  }
  return true;
}

struct Arguments {
  std::optional<std::string> from, to, format, database;
  bool help = false;
};

// Reads "--name VALUE" and "--name=VALUE"; false (with the message written) on a bad word.
bool ParseArguments(int argc, char** args, Arguments& parsed, FILE* err) {
  struct Option {
    std::string_view name;
    std::optional<std::string>* value;
  };
  const Option options[] = {{"--from", &parsed.from},
                            {"--to", &parsed.to},
                            {"--format", &parsed.format},
                            {"--database", &parsed.database}};
  for (int i = 0; i < argc; ++i) {
    const std::string_view word = args[i];
    if (word == "-h" || word == "--help") {
      parsed.help = true;
      continue;
    }
    bool known = false;
    for (const Option& option : options) {
      if (word == option.name) {
        if (i + 1 >= argc) {
          std::fprintf(err, "blipcount export: %s needs a value\n", args[i]);
          return false;
        }
        *option.value = args[++i];
        known = true;
      } else if (word.starts_with(option.name) && word.size() > option.name.size() &&
                 word[option.name.size()] == '=') {
        *option.value = std::string(word.substr(option.name.size() + 1));
        known = true;
      }
      if (known) break;
    }
    if (!known) {
      std::fprintf(err, "blipcount export: unknown option \"%s\"\n%s", args[i], kUsage);
      return false;
    }
  }
  return true;
}

std::optional<int64_t> ParseBound(const char* option, const std::optional<std::string>& text,
                                  int64_t open_end, int64_t now_ms, FILE* err) {
  if (!text) return open_end;
  const std::optional<int64_t> ms = ParseTimeText(*text, now_ms);
  if (!ms) {
    std::fprintf(err,
                 "blipcount export: %s \"%s\" is not a time (ISO 8601 such as "
                 "2026-03-01T12:00:00Z, or back from now such as -24h, -7d, -30m)\n",
                 option, text->c_str());
  }
  return ms;
}

}  // namespace

int RunExportCommand(int argc, char** args, int out_fd, FILE* err, int64_t now_ms) {
  Arguments arguments;
  if (!ParseArguments(argc, args, arguments, err)) return kExitUsage;
  if (arguments.help) {
    return WriteAll(out_fd, kUsage) ? 0 : kExitFailed;
  }

  ExportFormat format = ExportFormat::kCsv;
  if (arguments.format && *arguments.format == "json") {
    format = ExportFormat::kJson;
  } else if (arguments.format && *arguments.format != "csv") {
    std::fprintf(err, "blipcount export: --format takes csv or json, not \"%s\"\n",
                 arguments.format->c_str());
    return kExitUsage;
  }

  ExportRange range;
  const std::optional<int64_t> from =
      ParseBound("--from", arguments.from, range.from_ms, now_ms, err);
  const std::optional<int64_t> to = ParseBound("--to", arguments.to, range.to_ms, now_ms, err);
  if (!from || !to) return kExitUsage;
  if (*from > *to) {
    std::fprintf(err, "blipcount export: the range ends before it begins (--from %s, --to %s)\n",
                 arguments.from->c_str(), arguments.to->c_str());
    return kExitUsage;
  }
  range.from_ms = *from;
  range.to_ms = *to;

  std::string database;
  if (arguments.database) {
    database = *arguments.database;
  } else {
    // The record the program in this folder writes to.
    Config config;
    for (const std::string& problem : ReadConfig(kConfigFileName, config).problems) {
      std::fprintf(err, "blipcount export: %s\n", problem.c_str());
    }
    database = config.database;
  }

  const ExportResult result = ExportRecord(
      database, range, format, [out_fd](std::string_view text) { return WriteAll(out_fd, text); });
  if (result.status != ExportResult::kDone) {
    std::fprintf(err, "blipcount export: %s\n", ExportProblem(database, result).c_str());
    return kExitFailed;
  }
  return 0;
}
