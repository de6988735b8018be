// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// The whole program from outside: the real binary, started in a temporary working directory with
// a settings file that starts 3 periods of 1 second at once, recording from ALSA's file plugin
// (a raw file of known clicks). Its log comes out on standard error (BLIPCOUNT_LOG_TO_STDERR);
// after "Done counting." it saves the data file and starts its status server by itself
// (BLIPCOUNT_TEST_DATA_FILE), the test reads the page over HTTP and ends the program with
// SIGTERM, which closes the window the cancel way and writes the settings file.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

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

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
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

// The program as a child process whose standard error the test reads line by line.
class Program {
 public:
  Program(const std::string& dir, const std::vector<std::string>& environment) {
    int pipe_fds[2];
    EXPECT_EQ(pipe2(pipe_fds, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    std::vector<std::string> env_strings = environment;
    for (char** e = environ; *e != nullptr; ++e) env_strings.emplace_back(*e);
    std::vector<char*> env;
    for (std::string& e : env_strings) env.push_back(e.data());
    env.push_back(nullptr);
    std::string binary = BLIPCOUNT_BINARY;
    char* argv[] = {binary.data(), nullptr};
    EXPECT_EQ(posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv, env.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    err_ = pipe_fds[0];
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(err_);
  }

  // Reads standard error until a line equal to `line` has come, or the time is up.
  bool WaitForLine(const std::string& line, Clock::time_point deadline) {
    for (;;) {
      for (; seen_ < lines_.size(); ++seen_) {
        if (lines_[seen_] == kLogPrefix + line) {
          ++seen_;
          return true;
        }
      }
      if (!ReadMore(deadline)) return false;
    }
  }

  // Sends SIGTERM and waits for the exit; returns the exit status, or -1 on time-out.
  int Terminate(Clock::time_point deadline) {
    kill(pid_, SIGTERM);
    while (Clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        while (ReadMore(Clock::now() + std::chrono::milliseconds(200))) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      ReadMore(Clock::now() + std::chrono::milliseconds(50));
    }
    return -1;
  }

  const std::vector<std::string>& lines() const { return lines_; }
  std::string all() const {
    std::string text;
    for (const std::string& line : lines_) text += line + "\n";
    return text;
  }

 private:
  bool ReadMore(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd poll_fd{err_, POLLIN, 0};
    if (poll(&poll_fd, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(err_, buffer, sizeof buffer);
    if (n <= 0) return false;
    partial_.append(buffer, static_cast<size_t>(n));
    for (size_t end; (end = partial_.find('\n')) != std::string::npos;) {
      lines_.push_back(partial_.substr(0, end));
      partial_.erase(0, end + 1);
    }
    return true;
  }

  pid_t pid_ = 0;
  int err_ = -1;
  std::string partial_;
  std::vector<std::string> lines_;
  size_t seen_ = 0;
};

// What every run of the program here gets: the offscreen platform, its log on stderr, the test's
// ALSA configuration, and `more`.
std::vector<std::string> ProgramEnvironment(const std::string& alsa,
                                            std::vector<std::string> more) {
  std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen", "BLIPCOUNT_LOG_TO_STDERR=1",
                                          "ALSA_CONFIG_PATH=" + alsa};
  environment.insert(environment.end(), more.begin(), more.end());
  // Under AddressSanitizer: the leak suppression for ALSA's plugin modules needs the frames
  // below a module that has been unloaded (see tests/lsan.supp).
  const char* asan = std::getenv("ASAN_OPTIONS");
  environment.push_back(std::string("ASAN_OPTIONS=") + (asan != nullptr ? asan : "") +
                        ":fast_unwind_on_malloc=0");
  if (std::getenv("LSAN_OPTIONS") == nullptr) {
    environment.push_back("LSAN_OPTIONS=suppressions=" LSAN_SUPPRESSIONS);
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
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("blipcount-program-" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
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
  Program program(dir.string(), ProgramEnvironment(alsa, {"BLIPCOUNT_TEST_DATA_FILE=" +
                                                          (dir / "data.txt").string()}));
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

  Program program(dir.string(), ProgramEnvironment(alsa, {"DBUS_SESSION_BUS_ADDRESS=unix:path=" +
                                                          (dir / "no-bus").string()}));
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
