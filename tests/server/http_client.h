// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "server/unique_fd.h"
#include "support/temp_dir.h"

// A plain blocking client on 127.0.0.1 for the server tests. Every receive gives up after
// `timeout_s` seconds, so a server that never answers fails the test instead of hanging it.
inline UniqueFd ConnectLocal(uint16_t port, int timeout_s = 20) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return fd;
  timeval limit{timeout_s, 0};
  ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return UniqueFd();
  }
  return fd;
}

inline bool SendText(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Everything the server sends until it closes; nothing when the receive failed or timed out
// before the close.
inline std::optional<std::string> ReadToClose(int fd) {
  std::string response;
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n == 0) return response;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    response.append(chunk, static_cast<size_t>(n));
  }
}

// One whole exchange: connect, send the request, read until the server closes.
inline std::optional<std::string> Exchange(uint16_t port, std::string_view request) {
  UniqueFd fd = ConnectLocal(port);
  if (!fd.valid() || !SendText(fd.get(), request)) return std::nullopt;
  return ReadToClose(fd.get());
}

// Runs the test in a folder of its own, where the server looks for its picture.
class ScopedWorkingDir {
 public:
  explicit ScopedWorkingDir(const std::filesystem::path& dir)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~ScopedWorkingDir() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
  }
  ScopedWorkingDir(const ScopedWorkingDir&) = delete;
  ScopedWorkingDir& operator=(const ScopedWorkingDir&) = delete;

 private:
  std::filesystem::path previous_;
};
