// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

// The real program as a child process, for the tests that watch it from outside: started in a
// working directory with an environment of the test's choosing, its standard error read line by
// line (BLIPCOUNT_LOG_TO_STDERR puts the log there), ended with SIGTERM or SIGKILL.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

using ChildClock = std::chrono::steady_clock;

// This process's environment with `set` ("NAME=value") in front, so that they win, and without
// the variables named in `unset`.
inline std::vector<std::string> ChildEnvironment(const std::vector<std::string>& set,
                                                 const std::vector<std::string>& unset = {}) {
  std::vector<std::string> env = set;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    bool dropped = false;
    for (const std::string& name : unset) dropped = dropped || entry.starts_with(name + "=");
    if (!dropped) env.push_back(entry);
  }
  return env;
}

// What a child Blipcount needs under AddressSanitizer: the leak suppression for ALSA's plugin
// modules needs the frames below a module that has been unloaded (see tests/lsan.supp).
inline std::vector<std::string> SanitizerEnvironment(const char* lsan_suppressions) {
  std::vector<std::string> env;
  const char* asan = std::getenv("ASAN_OPTIONS");
  env.push_back(std::string("ASAN_OPTIONS=") + (asan != nullptr ? asan : "") +
                ":fast_unwind_on_malloc=0");
  if (std::getenv("LSAN_OPTIONS") == nullptr) {
    env.push_back(std::string("LSAN_OPTIONS=suppressions=") + lsan_suppressions);
  }
  return env;
}

// How a command that ran to its end went: its exit status (128 + the signal when a signal ended
// it) and what it wrote.
struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs `argv` (the program looked up on PATH) in `dir` with `environment` to its end, at most a
// minute. Its standard output is read by the test, or is `out_fd` when that is given.
inline CommandResult RunCommand(const std::vector<std::string>& argv,
                                const std::vector<std::string>& environment, const std::string& dir,
                                int out_fd = -1) {
  CommandResult result;
  int out_pipe[2] = {-1, -1};
  int err_pipe[2] = {-1, -1};
  EXPECT_EQ(pipe2(err_pipe, O_CLOEXEC), 0);
  if (out_fd < 0) {
    EXPECT_EQ(pipe2(out_pipe, O_CLOEXEC), 0);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_fd >= 0 ? out_fd : out_pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  std::vector<std::string> strings = argv;
  std::vector<char*> args;
  for (std::string& a : strings) args.push_back(a.data());
  args.push_back(nullptr);
  std::vector<std::string> env_strings = environment;
  std::vector<char*> env;
  for (std::string& e : env_strings) env.push_back(e.data());
  env.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
  EXPECT_EQ(spawned, 0) << argv[0];
  posix_spawn_file_actions_destroy(&actions);
  close(err_pipe[1]);
  if (out_fd < 0) close(out_pipe[1]);
  if (spawned != 0) {
    close(err_pipe[0]);
    if (out_fd < 0) close(out_pipe[0]);
    return result;
  }
  std::vector<pollfd> open_fds = {{err_pipe[0], POLLIN, 0}};
  if (out_fd < 0) open_fds.push_back({out_pipe[0], POLLIN, 0});
  const auto deadline = ChildClock::now() + std::chrono::seconds(60);
  while (!open_fds.empty() && ChildClock::now() < deadline) {
    if (poll(open_fds.data(), open_fds.size(), 1000) <= 0) continue;
    for (size_t i = 0; i < open_fds.size(); ++i) {
      if (open_fds[i].revents == 0) continue;
      char buffer[65536];
      const ssize_t n = read(open_fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (open_fds[i].fd == err_pipe[0] ? result.err : result.out).append(buffer, n);
      } else {
        close(open_fds[i].fd);
        open_fds.erase(open_fds.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    }
  }
  for (const pollfd& fd : open_fds) close(fd.fd);
  if (!open_fds.empty()) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

class Program {
 public:
  // Starts `binary` with `args` in `dir`; `environment` is the child's whole environment. Its
  // standard output comes through the same pipe as its standard error.
  Program(const std::string& binary, const std::string& dir,
          const std::vector<std::string>& environment, const std::vector<std::string>& args = {}) {
    int pipe_fds[2];
    EXPECT_EQ(pipe2(pipe_fds, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    std::vector<std::string> env_strings = environment;
    std::vector<char*> env;
    for (std::string& e : env_strings) env.push_back(e.data());
    env.push_back(nullptr);
    std::vector<std::string> arg_strings = {binary};
    arg_strings.insert(arg_strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : arg_strings) argv.push_back(a.data());
    argv.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), env.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    err_ = pipe_fds[0];
  }
  ~Program() {
    Kill();
    close(err_);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Reads standard error until a line equal to `prefix` + `line` has come, or the time is up.
  bool WaitForLine(const std::string& line, ChildClock::time_point deadline,
                   const std::string& prefix = "log| ") {
    for (;;) {
      for (; seen_ < lines_.size(); ++seen_) {
        if (lines_[seen_] == prefix + line) {
          ++seen_;
          return true;
        }
      }
      if (!ReadMore(deadline)) return false;
    }
  }

  // Reads standard error until `until`.
  void ReadUntil(ChildClock::time_point until) {
    while (ChildClock::now() < until && ReadMore(until)) {
    }
  }

  // Sends `signal` and waits for the exit; returns the exit status, or -1 on time-out.
  int Terminate(ChildClock::time_point deadline, int signal = SIGTERM) {
    kill(pid_, signal);
    return Wait(deadline);
  }

  // Waits for the exit, reading standard error; the exit status (128 + the signal for a
  // signal), or -1 on time-out.
  int Wait(ChildClock::time_point deadline) {
    while (ChildClock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        while (ReadMore(ChildClock::now() + std::chrono::milliseconds(200))) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      ReadMore(ChildClock::now() + std::chrono::milliseconds(50));
    }
    return -1;
  }

  // Ends the program with SIGKILL at once and waits for it.
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }

  // Every line so far, and when the test read each one.
  const std::vector<std::string>& lines() const { return lines_; }
  const std::vector<ChildClock::time_point>& line_times() const { return line_times_; }
  std::string all() const {
    std::string text;
    for (const std::string& line : lines_) text += line + "\n";
    return text;
  }

 private:
  bool ReadMore(ChildClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - ChildClock::now());
    if (left.count() <= 0) return false;
    pollfd poll_fd{err_, POLLIN, 0};
    if (poll(&poll_fd, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(err_, buffer, sizeof buffer);
    if (n <= 0) return false;
    const ChildClock::time_point now = ChildClock::now();
    partial_.append(buffer, static_cast<size_t>(n));
    for (size_t end; (end = partial_.find('\n')) != std::string::npos;) {
      lines_.push_back(partial_.substr(0, end));
      line_times_.push_back(now);
      partial_.erase(0, end + 1);
    }
    return true;
  }

  pid_t pid_ = 0;
  int err_ = -1;
  std::string partial_;
  std::vector<std::string> lines_;
  std::vector<ChildClock::time_point> line_times_;
  size_t seen_ = 0;
};
