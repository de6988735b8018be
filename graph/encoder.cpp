// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "graph/encoder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>

extern char** environ;

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Starts the encoder in its own session, with default signal handling, nothing inherited but
// /dev/null as its standard streams; -1 when there is none or it cannot be started.
pid_t SpawnEncoder(const std::string& bmp_name, const std::string& jpg_name) {
  const std::string program = FindJpegEncoder();
  if (program.empty()) return -1;

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  // Sockets and files of the program that lack close-on-exec stay with the program.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  sigset_t no_signals;
  sigemptyset(&no_signals);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGCHLD}) sigaddset(&defaults, sig);
  posix_spawnattr_setsigmask(&attributes, &no_signals);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  // Debian's cjpeg takes its output file as -outfile NAME, before the input file.
  std::string argv0 = "cjpeg", progressive = "-progressive", outfile = "-outfile";
  std::string jpg = jpg_name, bmp = bmp_name;
  char* argv[] = {argv0.data(), progressive.data(), outfile.data(),
                  jpg.data(),   bmp.data(),         nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, environ) != 0) pid = -1;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// One encoder at a time, and at most one request waiting for it. Never destroyed: a waiter
// thread may still be running while the program exits.
struct Launcher {
  std::mutex mutex;
  std::condition_variable idle;
  bool running = false;
  bool pending = false;
  std::string pending_bmp;
  std::string pending_jpg;
};

Launcher& TheLauncher() {
  static Launcher* launcher = new Launcher;
  return *launcher;
}

void Reap(pid_t pid) {
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

// Reaps the encoder, then starts the waiting request, if any, and reaps that one too.
void WaitForEncoders(pid_t pid) {
  Launcher& launcher = TheLauncher();
  for (;;) {
    Reap(pid);
    std::lock_guard lock(launcher.mutex);
    pid = -1;
    if (launcher.pending) {
      launcher.pending = false;
      pid = SpawnEncoder(launcher.pending_bmp, launcher.pending_jpg);
    }
    if (pid < 0) {
      launcher.running = false;
      launcher.idle.notify_all();
      return;
    }
  }
}

}  // namespace

std::string FindJpegEncoder() {
  if (IsExecutableFile("./cjpeg")) return "./cjpeg";
  const char* path = std::getenv("PATH");
  std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (!folders.empty()) {
    const size_t colon = folders.find(':');
    std::string_view folder = folders.substr(0, colon);
    folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
    if (folder.empty()) continue;  // the working directory, already looked at
    std::string candidate = std::string(folder) + "/cjpeg";
    if (IsExecutableFile(candidate)) return candidate;
  }
  return {};
}

void StartJpegEncoder(const std::string& bmp_name, const std::string& jpg_name) {
  Launcher& launcher = TheLauncher();
  std::unique_lock lock(launcher.mutex);
  if (launcher.running) {
    launcher.pending = true;
    launcher.pending_bmp = bmp_name;
    launcher.pending_jpg = jpg_name;
    return;
  }
  const pid_t pid = SpawnEncoder(bmp_name, jpg_name);
  if (pid < 0) return;  // no encoder: silent
  launcher.running = true;
  lock.unlock();
  try {
    std::thread(WaitForEncoders, pid).detach();
  } catch (const std::system_error&) {
    // No thread to spare: reap it here rather than leave a zombie.
    WaitForEncoders(pid);
  }
}

bool WaitForJpegEncoder(std::chrono::milliseconds timeout) {
  Launcher& launcher = TheLauncher();
  std::unique_lock lock(launcher.mutex);
  return launcher.idle.wait_for(lock, timeout,
                                [&] { return !launcher.running && !launcher.pending; });
}
