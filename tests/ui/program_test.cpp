// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// The whole program from outside: the real binary as a child process in a temporary working
// directory, its log on standard error (BLIPCOUNT_LOG_TO_STDERR).
// - An autostart run: a settings file that starts 3 periods of 1 second at once, recording from
//   ALSA's file plugin (a raw file of known clicks); after "Done counting." the program saves the
//   data file and starts its status server by itself (BLIPCOUNT_TEST_DATA_FILE), the test reads
//   the page over HTTP and ends the program with SIGTERM, which writes the settings file.
// - SIGTERM with a dialog open, under an Xvfb of the test's own, the dialog opened by key presses
//   sent with xdotool.
// - No display at all.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "click_signal.h"
#include "core/counter_state.h"
#include "core/report.h"
#include "core/text_format.h"
#include "files/settings_file.h"
#include "support/child_program.h"
#include "support/temp_dir.h"

namespace {

using Clock = ChildClock;
constexpr uint32_t kClicksPerSecond = 9;
constexpr uint32_t kPeriods = 3;
const std::string kLogPrefix = "log| ";

// A port nobody listens on right now.
uint16_t FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  close(fd);
  return ntohs(address.sin_port);
}

std::optional<std::string> HttpGet(uint16_t port, const std::string& path) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  timeval timeout{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return std::nullopt;
  }
  const std::string request = "GET " + path + " HTTP/1.0\r\n\r\n";
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string response;
  char buffer[4096];
  for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) response.append(buffer, n);
  close(fd);
  return response;
}

std::filesystem::path FreshDir(const std::string& name) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("blipcount-" + name + "-" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// What every run of the program here gets: the offscreen platform, its log on stderr, the test's
// ALSA configuration, and `more`.
std::vector<std::string> ProgramEnvironment(const std::string& alsa,
                                            std::vector<std::string> more) {
  std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen", "BLIPCOUNT_LOG_TO_STDERR=1",
                                          "ALSA_CONFIG_PATH=" + alsa};
  environment.insert(environment.end(), more.begin(), more.end());
  for (std::string& e : SanitizerEnvironment(LSAN_SUPPRESSIONS)) {
    environment.push_back(std::move(e));
  }
  return environment;
}

// The log lines the program wrote, without what Qt itself says on standard error.
std::vector<std::string> LogLines(const Program& program) {
  std::vector<std::string> log;
  for (const std::string& line : program.lines()) {
    if (line.starts_with(kLogPrefix)) log.push_back(line.substr(kLogPrefix.size()));
  }
  return log;
}

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(Program, AutostartRunSavesServesAndWritesItsSettings) {
  const std::filesystem::path dir = FreshDir("program");
  // The plugin delivers faster than real time, and frames that come while a period is being
  // processed are dropped; the file must outlast the run.
  const std::string alsa =
      WriteFileCaptureConfig(dir.string(), MonoClicks(11025, kClicksPerSecond), 2000);
  const uint16_t port = FreePort();
  CounterState settings;
  settings.autostart = 1;
  settings.sampletime = 1;
  settings.repeat = kPeriods;
  settings.webport = port;
  ASSERT_TRUE(WriteSettings(settings, (dir / "blipcount.ini").string()));

  const auto deadline = Clock::now() + std::chrono::seconds(60);
  Program program(BLIPCOUNT_BINARY, dir.string(),
                  ChildEnvironment(ProgramEnvironment(
                      alsa, {"BLIPCOUNT_TEST_DATA_FILE=" + (dir / "data.txt").string()})));
  ASSERT_TRUE(program.WaitForLine(StringPrintf("HTTPD: Listening on port %d...", port), deadline))
      << program.all();

  // The log, line by line: the fixed texts exactly, the periods by their pattern.
  const std::vector<std::string> log = LogLines(program);
  ASSERT_GE(log.size(), 8u + 2 * kPeriods + 1) << program.all();
  const std::vector<std::string> opening(log.begin(), log.begin() + 7);
  EXPECT_EQ(opening, (std::vector<std::string>{kBanner, "Starting automatically...",
                                               "Audio sampling rate = 11025 per second",
                                               "Opened Audio Input.", "", "Starting recording.",
                                               "Sampling time=1 secs, repeat 3 times."}));
  EXPECT_EQ(log[7].size(), 24u) << log[7];  // the time stamp of the start
  std::vector<uint32_t> counts;
  for (uint32_t i = 0; i < kPeriods; ++i) {
    const std::string& line = log[8 + 2 * i];
    unsigned number = 0, period_counts = 0, cpm = 0;
    ASSERT_EQ(
        std::sscanf(line.c_str(), "#%u Counts=%u CPM=%u mR/hr=", &number, &period_counts, &cpm), 3)
        << program.all();
    EXPECT_EQ(number, i + 1);
    counts.push_back(period_counts);
    // One fewer only when a click falls on the period's first frame.
    EXPECT_TRUE(counts.back() == kClicksPerSecond || counts.back() == kClicksPerSecond - 1) << line;
    EXPECT_EQ(cpm, counts.back() * 60);
    // The whole line exactly, with the running integer mean of the periods so far.
    uint32_t sum_so_far = 0;
    for (uint32_t c : counts) sum_so_far += c;
    const double mean_cpm = static_cast<double>(sum_so_far / (i + 1)) * 60.0;
    EXPECT_EQ(line, FormatPeriodLine(false, i + 1, static_cast<int32_t>(period_counts), cpm * 1.0,
                                     600.0, mean_cpm));
    EXPECT_EQ(log[9 + 2 * i].rfind(
                  StringPrintf("   95%% confidence interval on %u counts ", counts.back()), 0),
              0u)
        << log[9 + 2 * i];
  }
  EXPECT_EQ(log[8 + 2 * kPeriods], "Done counting.");
  EXPECT_EQ(log[9 + 2 * kPeriods], StringPrintf("Starting server on port %d...", port));

  // The data file, saved by the program's own Save As.
  const std::string data = ReadWholeFile(dir / "data.txt");
  EXPECT_NE(data.find("3 samples of 3\n"), std::string::npos) << data;
  std::string values;
  uint32_t sum = 0;
  for (uint32_t i = 0; i < kPeriods; ++i) {
    values += StringPrintf("%-4d %5d \n", static_cast<int>(i), counts[i] * 60);
    sum += counts[i];
  }
  EXPECT_NE(data.find(StringPrintf("current_average = %u cpm\n", sum / kPeriods * 60)),
            std::string::npos)
      << data;
  EXPECT_TRUE(data.ends_with(values)) << data;

  // The status page from the program's own server.
  const std::optional<std::string> page = HttpGet(port, "/");
  ASSERT_TRUE(page.has_value());
  EXPECT_EQ(page->rfind("HTTP/1.0 200", 0), 0u) << *page;
  EXPECT_NE(page->find("Current iteration=3 of 3<br>"), std::string::npos) << *page;
  EXPECT_NE(page->find(StringPrintf("Ave=%u CPM ", sum / kPeriods * 60)), std::string::npos)
      << *page;
  std::string list;
  for (uint32_t c : counts) list += StringPrintf("%4d, ", static_cast<int>(c));
  EXPECT_NE(page->find(list), std::string::npos) << *page;

  // Ending: the settings file is written again, with what the window held.
  std::filesystem::remove(dir / "blipcount.ini");
  EXPECT_EQ(program.Terminate(Clock::now() + std::chrono::seconds(20)), 0) << program.all();
  CounterState read;
  ASSERT_TRUE(ReadSettings(read, (dir / "blipcount.ini").string()));
  EXPECT_EQ(read.repeat, kPeriods);
  EXPECT_EQ(read.webport, port);
  EXPECT_EQ(read.autostart, 1);
  std::filesystem::remove_all(dir);
}

// A display of the test's own: Xvfb on the first free display number, which it reports itself.
class Xvfb {
 public:
  Xvfb() {
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, report[1], 3);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>("Xvfb"),
                    const_cast<char*>("-displayfd"),
                    const_cast<char*>("3"),
                    const_cast<char*>("-nolisten"),
                    const_cast<char*>("tcp"),
                    const_cast<char*>("-screen"),
                    const_cast<char*>("0"),
                    const_cast<char*>("1024x768x24"),
                    nullptr};
    if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv, environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
    close(report[1]);
    std::string number;
    pollfd poll_fd{report[0], POLLIN, 0};
    char c = 0;
    while (pid_ > 0 && poll(&poll_fd, 1, 20000) > 0 && read(report[0], &c, 1) == 1 && c != '\n') {
      number += c;
    }
    close(report[0]);
    if (!number.empty()) display_ = ":" + number;
  }
  ~Xvfb() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  // ":N", or empty when the server did not start.
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = 0;
  std::string display_;
};

// Runs xdotool on `display` and returns what it printed, or nothing when it failed or did not end
// in time (a search for a window that never shows).
std::optional<std::string> Xdotool(const std::string& display, std::vector<std::string> args) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  args.insert(args.begin(), "xdotool");
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::string display_entry = "DISPLAY=" + display;
  char* env[] = {display_entry.data(), nullptr};
  pid_t pid = 0;
  const bool spawned = posix_spawnp(&pid, "xdotool", &actions, nullptr, argv.data(), env) == 0;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string printed;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  char buffer[256];
  for (pollfd poll_fd{out[0], POLLIN, 0}; spawned && Clock::now() < deadline;) {
    if (poll(&poll_fd, 1, 100) <= 0) continue;
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    printed.append(buffer, static_cast<size_t>(n));
  }
  close(out[0]);
  if (!spawned) return std::nullopt;
  int status = 0;
  if (Clock::now() >= deadline) kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return printed;
}

// A dialog opened by key presses in the main window: each key, then the title of the window it
// opens (a regular expression; empty: none).
struct DialogCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> keys;
};

void PrintTo(const DialogCase& c, std::ostream* os) { *os << c.name; }

class SignalWithDialog : public ::testing::TestWithParam<DialogCase> {};

// SIGTERM ends the program whatever dialog is open, and the settings file is written with the
// window's last valid values. Under Xvfb, with the keys a user presses.
TEST_P(SignalWithDialog, EndsTheProgramAndWritesTheSettings) {
  const DialogCase& c = GetParam();
  const Xvfb xvfb;
  ASSERT_FALSE(xvfb.display().empty()) << "Xvfb did not start";
  TempDir dir;
  CounterState settings;
  settings.sampletime = 7;
  settings.repeat = 3;
  settings.threshold = 42;
  settings.webport = 8123;
  settings.scrollwidth = 30;
  const std::string ini = dir.File("blipcount.ini");
  ASSERT_TRUE(WriteSettings(settings, ini));
  std::vector<std::string> environment = {"DISPLAY=" + xvfb.display(), "BLIPCOUNT_LOG_TO_STDERR=1"};
  const std::vector<std::string> sanitizer = SanitizerEnvironment(LSAN_SUPPRESSIONS);
  environment.insert(environment.end(), sanitizer.begin(), sanitizer.end());
  Program program(BLIPCOUNT_BINARY, dir.path(),
                  ChildEnvironment(environment, {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY"}));

  const std::optional<std::string> window = Xdotool(
      xvfb.display(), {"search", "--sync", "--onlyvisible", "--name", "^Blipcount Pulse Logger"});
  ASSERT_TRUE(window.has_value()) << program.all();
  const std::string id = window->substr(0, window->find('\n'));
  ASSERT_TRUE(Xdotool(xvfb.display(), {"windowfocus", "--sync", id}));
  for (const auto& [key, title] : c.keys) {
    ASSERT_TRUE(Xdotool(xvfb.display(), {"key", key})) << key;
    if (title.empty()) continue;
    ASSERT_TRUE(Xdotool(xvfb.display(), {"search", "--sync", "--onlyvisible", "--name", title}))
        << "no window " << title << " after " << key << "\n"
        << program.all();
  }

  std::filesystem::remove(ini);
  const auto sent = Clock::now();
  EXPECT_EQ(program.Terminate(sent + std::chrono::seconds(10)), 0) << program.all();
  std::printf("ended %.0f ms after the signal\n",
              std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
  CounterState read;
  ASSERT_TRUE(ReadSettings(read, ini)) << program.all();
  EXPECT_EQ(read.sampletime, 7u);
  EXPECT_EQ(read.repeat, 3u);
  EXPECT_EQ(read.threshold, 42u);
  EXPECT_EQ(read.webport, 8123u);
  EXPECT_EQ(read.scrollwidth, 30u);
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, SignalWithDialog,
    ::testing::Values(
        DialogCase{"the Options dialog", {{"alt+o", "^Blipcount Options$"}}},
        // A letter typed into the sample-time field, which has the focus, then Enter: the
        // message of the failed check.
        DialogCase{"a message box", {{"x", ""}, {"Return", "^blipcount$"}}},
        // The same message as the window ends with Escape, shown during its destruction.
        DialogCase{"a message box while the window ends", {{"x", ""}, {"Escape", "^blipcount$"}}},
        DialogCase{"the data file chooser",
                   {{"alt+o", "^Blipcount Options$"}, {"alt+a", "^Save As$"}}}));

// Without a display the program says so in one line, names the mode that needs none, and ends
// with a failure code.
TEST(Program, WithoutADisplayItSaysSoAndEnds) {
  TempDir dir;
  Program program(BLIPCOUNT_BINARY, dir.path(),
                  ChildEnvironment(SanitizerEnvironment(LSAN_SUPPRESSIONS),
                                   {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}));
  const int status = program.Wait(Clock::now() + std::chrono::seconds(20));
  EXPECT_NE(status, 0);
  EXPECT_LT(status, 128) << "ended by a signal";
  ASSERT_EQ(program.lines().size(), 1u) << program.all();
  EXPECT_NE(program.lines()[0].find("no display"), std::string::npos) << program.all();
  EXPECT_NE(program.lines()[0].find("blipcount --headless"), std::string::npos) << program.all();
  EXPECT_FALSE(std::filesystem::exists(dir.File("blipcount.ini")));
}

// The options are answered before Qt starts: with no display to be had, --help and --version
// still answer, and an unknown option or a bad rate gets the usage line and exit code 2.
TEST(Program, OptionsAreAnsweredWithoutADisplay) {
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    std::string first_line;
  };
  const Case cases[] = {
      {{"--help"}, 0, "Usage: blipcount [--demo[=CPM]] [--help] [--version]"},
      {{"--version"}, 0, "blipcount 0.83"},
      {{"--bogus"}, 2, "blipcount: unknown option --bogus"},
      {{"--demo=fast"},
       2,
       "blipcount: the rate of --demo must be a number of counts per minute from 0 to 1000000"},
  };
  const std::filesystem::path dir = FreshDir("options");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front());
    std::vector<std::string> environment = {"QT_QPA_PLATFORM=xcb", "DISPLAY="};
    for (std::string& e : SanitizerEnvironment(LSAN_SUPPRESSIONS)) {
      environment.push_back(std::move(e));
    }
    Program program(BLIPCOUNT_BINARY, dir.string(), ChildEnvironment(environment), c.args);
    EXPECT_EQ(program.Wait(Clock::now() + std::chrono::seconds(20)), c.exit_code);
    ASSERT_FALSE(program.lines().empty());
    EXPECT_EQ(program.lines().front(), c.first_line) << program.all();
    if (c.exit_code == 2) {
      EXPECT_EQ(program.lines().back(), "Usage: blipcount [--demo[=CPM]] [--help] [--version]");
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "blipcount.ini"));
  std::filesystem::remove_all(dir);
}

// --demo=CPM: the line input is the simulated meter, which plays at the real rate, so each
// one-second period counts about CPM / 60 clicks.
TEST(Program, DemoCountsTheSimulatedMetersClicks) {
  const std::filesystem::path dir = FreshDir("demo");
  CounterState settings;
  settings.autostart = 1;
  settings.repeat = 3;
  ASSERT_TRUE(WriteSettings(settings, (dir / "blipcount.ini").string()));
  std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen", "BLIPCOUNT_LOG_TO_STDERR=1"};
  for (std::string& e : SanitizerEnvironment(LSAN_SUPPRESSIONS)) {
    environment.push_back(std::move(e));
  }
  Program program(BLIPCOUNT_BINARY, dir.string(), ChildEnvironment(environment), {"--demo=600"});
  ASSERT_TRUE(program.WaitForLine("Done counting.", Clock::now() + std::chrono::seconds(60)))
      << program.all();
  std::vector<uint32_t> counts;
  for (const std::string& line : program.lines()) {
    unsigned number = 0, period_counts = 0;
    if (std::sscanf(line.c_str(), "log| #%u Counts=%u", &number, &period_counts) == 2) {
      counts.push_back(period_counts);
    }
  }
  ASSERT_EQ(counts.size(), 3u) << program.all();
  for (uint32_t c : counts) {
    // Ten a second on average; outside 1..30 a Poisson count of mean 10 all but never falls.
    EXPECT_GE(c, 1u);
    EXPECT_LE(c, 30u);
  }
  EXPECT_EQ(program.Terminate(Clock::now() + std::chrono::seconds(20)), 0) << program.all();
  std::filesystem::remove_all(dir);
}

// The alarm in the real program: the real capture turns it on, its tone goes to the test's ALSA
// output (the file plugin's /dev/null), the notification finds no bus, and the program counts
// on to the end of the run and ends cleanly.
TEST(Program, AlarmGoesOnAndTheRunGoesOn) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("blipcount-program-alarm-" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string alsa =
      WriteFileCaptureConfig(dir.string(), MonoClicks(11025, kClicksPerSecond), 2000);
  CounterState settings;
  settings.autostart = 1;
  settings.repeat = 4;
  ASSERT_TRUE(WriteSettings(settings, (dir / "blipcount.ini").string()));
  // 9 clicks a second are 9 µSv/h at 600 CPM per mR/hr (8 when a click falls on a period's
  // first frame).
  std::ofstream(dir / "blipcount.conf") << "alarm_usvh = 5\nalarm_periods = 2\n";

  Program program(BLIPCOUNT_BINARY, dir.string(),
                  ChildEnvironment(ProgramEnvironment(
                      alsa, {"DBUS_SESSION_BUS_ADDRESS=unix:path=" + (dir / "no-bus").string()})));
  ASSERT_TRUE(program.WaitForLine("Done counting.", Clock::now() + std::chrono::seconds(60)))
      << program.all();
  // Each period's line and confidence line; the alarm's line after the second period.
  std::vector<std::string> periods_and_alarm;
  for (const std::string& line : LogLines(program)) {
    if (line.starts_with("#") || line.starts_with("Alarm")) {
      periods_and_alarm.push_back(line.substr(0, std::min<size_t>(line.size(), 58)));
    }
  }
  ASSERT_EQ(periods_and_alarm.size(), 5u) << program.all();
  EXPECT_EQ(periods_and_alarm[2].rfind("Alarm on: dose rate above 5 µSv/h for 2 periods", 0), 0u)
      << program.all();
  EXPECT_EQ(periods_and_alarm[4].rfind("#4", 0), 0u);
  EXPECT_EQ(program.Terminate(Clock::now() + std::chrono::seconds(20)), 0) << program.all();
  std::filesystem::remove_all(dir);
}

}  // namespace
