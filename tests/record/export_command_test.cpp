// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// `blipcount export` as a user runs it: the real program, with no display of any kind in its
// environment, its output read back by Python's csv and json modules.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/period_events.h"
#include "core/text_format.h"
#include "period_samples.h"
#include "record/recorder.h"
#include "support/child_program.h"
#include "support/temp_dir.h"

namespace {

using Lines = std::vector<std::string>;

constexpr int64_t kMarch1 = 1772323200000;  // 2026-03-01T00:00:00Z
constexpr char kHeader[] =
    "start | end | seconds | counts | cpm | mrhr | usvh | threshold | coincidence | "
    "timingticksperminute | source | run";
const std::string kAwkwardName = "clicks, \"quoted\"\nµ.wav";

std::string Plain(double value) { return StringPrintf("%.17g", value); }

// A record of five line-input periods from 2026-03-01T00:00:00Z on (counts 10 to 14), a Read
// File period with an awkward name ten seconds later (counts 15), and two periods of the last
// day: 25 hours ago (counts 16) and 23 hours ago (counts 17).
class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // What makes a display: none of it reaches the child.
    environment_ = ChildEnvironment(SanitizerEnvironment(LSAN_SUPPRESSIONS),
                                    {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
    Recorder recorder({.path = dir_.File("blipcount.db")}, nullptr);
    for (int32_t i = 0; i < 5; ++i) recorder.OnPeriod(OneSecondPeriod(kMarch1 + i * 1000, 10 + i));
    PeriodReport file = OneSecondPeriod(kMarch1 + 10000, 15, kAwkwardName);
    file.seconds = 3;
    file.end_ms = file.start_ms + 3000;
    recorder.OnPeriod(file);
    const int64_t now = UtcNowMs();
    recorder.OnPeriod(OneSecondPeriod(now - 25 * 3600000, 16));
    recorder.OnPeriod(OneSecondPeriod(now - 23 * 3600000, 17));
    ASSERT_TRUE(recorder.WaitUntilWritten(std::chrono::seconds(10)));
  }

  CommandResult Export(const Lines& args, int out_fd = -1) {
    Lines argv = {BLIPCOUNT_BINARY, "export"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCommand(argv, environment_, dir_.path(), out_fd);
  }

  // The export read back by Python.
  Lines ReadBack(const std::string& form, const std::string& text) {
    WriteText(dir_.File("export." + form), text);
    const CommandResult read =
        RunCommand({"python3", READ_EXPORT_SCRIPT, form, dir_.File("export." + form)},
                   ChildEnvironment({}), dir_.path());
    EXPECT_EQ(read.status, 0) << read.err;
    Lines lines;
    for (size_t start = 0, end; (end = read.out.find('\n', start)) != std::string::npos;
         start = end + 1) {
      lines.push_back(read.out.substr(start, end - start));
    }
    return lines;
  }

  // The counts column of an export: which periods it holds.
  Lines Counts(const std::string& form, const std::string& text) {
    Lines counts;
    const Lines lines = ReadBack(form, text);
    for (size_t i = 1; i < lines.size(); ++i) {
      size_t at = 0;
      for (int column = 0; column < 3; ++column) at = lines[i].find(" | ", at) + 3;
      counts.push_back(lines[i].substr(at, lines[i].find(" | ", at) - at));
    }
    return counts;
  }

  TempDir dir_;
  Lines environment_;
};

TEST_F(ExportTest, CsvAndJsonReadBackThroughPython) {
  const Lines expected = {
      kHeader,
      "2026-03-01T00:00:00.000Z | 2026-03-01T00:00:01.000Z | 1 | 10 | " + Plain(600) + " | " +
          Plain(1) + " | " + Plain(10) + " | 100 | 0 | 0 | \"\" | 1",
      "2026-03-01T00:00:01.000Z | 2026-03-01T00:00:02.000Z | 1 | 11 | " + Plain(660) + " | " +
          Plain(660 / 600.0) + " | " + Plain(660 / 600.0 * 10) + " | 100 | 0 | 0 | \"\" | 1",
      // Read File: three seconds, and a name with a comma, quotes, a line break and a µ.
      "2026-03-01T00:00:10.000Z | 2026-03-01T00:00:13.000Z | 3 | 15 | " + Plain(15 * 20.0) + " | " +
          Plain(15 * 20.0 / 600) + " | " + Plain(15 * 20.0 / 600 * 10) +
          " | 100 | 0 | 0 | \"clicks, \\\"quoted\\\"\\nµ.wav\" | 2",
  };
  for (const std::string form : {"csv", "json"}) {
    SCOPED_TRACE(form);
    const CommandResult result = Export(
        {"--from", "2026-03-01T00:00:00Z", "--to", "2026-03-01T00:00:11Z", "--format", form});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    const Lines lines = ReadBack(form, result.out);
    ASSERT_EQ(lines.size(), 7u) << result.out;
    EXPECT_EQ((Lines{lines[0], lines[1], lines[2], lines[6]}), expected);
  }
  // RFC 4180: a header row and CRLF line ends; the name quoted, its quotes doubled.
  const std::string csv = Export({"--to", "2026-03-01T00:00:11Z"}).out;
  EXPECT_EQ(csv.substr(0, csv.find('\n') + 1),
            "start,end,seconds,counts,cpm,mrhr,usvh,threshold,coincidence,timingticksperminute,"
            "source,run\r\n");
  EXPECT_NE(csv.find(",\"clicks, \"\"quoted\"\"\nµ.wav\",2\r\n"), std::string::npos) << csv;
}

struct RangeCase {
  const char* name;
  Lines args;
  Lines counts;
};

TEST_F(ExportTest, RangesHoldThePeriodsThatStartInThem) {
  WriteText(dir_.File("blipcount.conf"), "database = elsewhere.db\n");
  std::filesystem::copy_file(dir_.File("blipcount.db"), dir_.File("elsewhere.db"));
  const RangeCase cases[] = {
      {"from is in, to is out",
       {"--from", "2026-03-01T00:00:01Z", "--to", "2026-03-01T00:00:03.000Z"},
       {"11", "12"}},
      {"a zone of its own",
       {"--from", "2026-03-01T01:00:04+01:00", "--to", "2026-03-02"},
       {"14", "15"}},
      {"open at the start", {"--to", "2026-03-01T00:00:01Z"}, {"10"}},
      {"the last day, back from now", {"--from", "-24h"}, {"17"}},
      {"the last two days", {"--from", "-2d", "--to", "now"}, {"16", "17"}},
      {"empty: it ends where it begins",
       {"--from", "2026-03-01T00:00:02Z", "--to", "2026-03-01T00:00:02Z"},
       {}},
      {"nothing recorded then", {"--from", "2025-01-01", "--to", "2025-02-01"}, {}},
      {"the --name=value form", {"--database=elsewhere.db", "--to=2026-03-01T00:00:01Z"}, {"10"}},
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string form : {"csv", "json"}) {
      Lines args = c.args;
      args.insert(args.end(), {"--format", form});
      const CommandResult result = Export(args);
      EXPECT_EQ(result.status, 0) << result.err;
      EXPECT_EQ(Counts(form, result.out), c.counts) << form;
      if (c.counts.empty()) {
        EXPECT_EQ(result.out, form == "json" ? "[]\n"
                                             : "start,end,seconds,counts,cpm,mrhr,usvh,threshold,"
                                               "coincidence,timingticksperminute,source,run\r\n");
      }
    }
  }
  // Without --database: the record that blipcount.conf names.
  std::filesystem::remove(dir_.File("blipcount.db"));
  const CommandResult result = Export({"--to", "2026-03-01T00:00:01Z"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Counts("csv", result.out), Lines{"10"});
}

struct ErrorCase {
  const char* name;
  Lines args;
  int status;
  std::string err;
  bool with_usage = false;
};

TEST_F(ExportTest, BadCommandLinesAndRecordsGetAMessageAndAnExitCode) {
  WriteText(dir_.File("notes.txt"), "my own notes\n");
  const std::string usage =
      "usage: blipcount export [--from T] [--to T] [--format csv|json] [--database PATH]\n";
  const ErrorCase cases[] = {
      {"a range the wrong way round",
       {"--from", "2026-03-02", "--to", "2026-03-01"},
       2,
       "blipcount export: the range ends before it begins (--from 2026-03-02, --to "
       "2026-03-01)\n"},
      {"not a time",
       {"--from", "yesterday"},
       2,
       "blipcount export: --from \"yesterday\" is not a time (ISO 8601 such as "
       "2026-03-01T12:00:00Z, or back from now such as -24h, -7d, -30m)\n"},
      {"no value", {"--to"}, 2, "blipcount export: --to needs a value\n"},
      {"another format",
       {"--format", "xml"},
       2,
       "blipcount export: --format takes csv or json, not \"xml\"\n"},
      {"an unknown option",
       {"--since", "-1h"},
       2,
       "blipcount export: unknown option \"--since\"\n",
       true},
      {"no record there",
       {"--database", "missing.db"},
       1,
       "blipcount export: no record at \"missing.db\" (No such file or directory)\n"},
      {"a text file",
       {"--database", "notes.txt"},
       1,
       "blipcount export: \"notes.txt\" is not a SQLite database\n"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.name);
    const CommandResult result = Export(c.args);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.err.substr(0, c.err.size()), c.err);
    EXPECT_EQ(result.err.find(usage) == c.err.size(), c.with_usage) << result.err;
    EXPECT_EQ(result.out, "");
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.File("missing.db")));
  EXPECT_EQ(ReadText(dir_.File("notes.txt")), "my own notes\n");
}

// An output that takes nothing: a full disk, and a reader that has gone (with SIGPIPE ignored,
// as a shell script or a service may leave it, the write fails with EPIPE).
TEST_F(ExportTest, AnUnwritableOutputFailsTheExport) {
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  CommandResult result = Export({}, full);
  close(full);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "blipcount export: cannot write the output (No space left on device)\n");

  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  close(fds[0]);
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &previous);
  result = Export({}, fds[1]);
  sigaction(SIGPIPE, &previous, nullptr);
  close(fds[1]);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "blipcount export: cannot write the output (Broken pipe)\n");
}

}  // namespace
