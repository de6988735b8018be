// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/counter_state.h"
#include "server/status_page.h"
#include "server/unique_fd.h"

// The one request buffer of a server: one receive of at most this many bytes per connection,
// and the room of the picture response.
inline constexpr size_t kServerBufferSize = 4 * 1024 * 1024;

// How ServeHttp ended.
enum ServeExit : int {
  kServeStopped = 0,  // the program stopped the server: nothing is logged
  kServeStartupFailed = 1,
  kServeSocketFailed = 2,
  kServeBindFailed = 3,
  kServeListenFailed = 4,
  kServeAcceptFailed = 5,
  kServeNoBuffer = 6,  // the request buffer could not be allocated
};

struct ServerOptions {
  // Longest wait for a request to arrive, and for a stalled reader to take more of a response.
  std::chrono::milliseconds io_timeout{3000};
  // Size of the request buffer (tests shrink it to reach its end cheaply).
  size_t buffer_size = kServerBufferSize;
  // The "Current Time:" text of the page; null takes TimeStamp().
  std::function<std::string()> time_stamp;
};

// One status server: its own thread (ServerThread) serves one connection at a time on the port,
// every local IPv4 address, until the object is destroyed. Log lines are posted to the owner
// thread with PostLogLine. Construct and destroy on the owner thread; `state` must outlive it.
class StatusServer {
 public:
  // `port` 0 takes a free port (tests); the program refuses it before it gets here.
  StatusServer(CounterState& state, uint16_t port, ServerOptions options = {});
  // Stops the server promptly (also in the middle of a connection) and joins its thread.
  ~StatusServer();
  StatusServer(const StatusServer&) = delete;
  StatusServer& operator=(const StatusServer&) = delete;

  // Waits until the server listens or its thread has ended. Returns the port it listens on, or
  // 0 when it did not get that far within `timeout`.
  uint16_t WaitListening(std::chrono::milliseconds timeout);

  // Waits until the thread has ended; returns ServeHttp's exit code, or nothing on time-out.
  std::optional<int> WaitEnded(std::chrono::milliseconds timeout);

 private:
  void ServerThread();
  int ServeHttp();
  void ServeConnection(UniqueFd connection);

  enum class Wait { kReady, kTimedOut, kStopped };
  Wait WaitFor(int fd, short events, std::chrono::milliseconds timeout) const;
  bool SendAll(int fd, const char* data, size_t length) const;
  void CloseConnection(UniqueFd connection);

  CounterState& state_;
  const uint16_t port_;
  const ServerOptions options_;
  UniqueFd wake_read_;
  UniqueFd wake_write_;

  std::mutex phase_mutex_;
  std::condition_variable phase_changed_;
  uint16_t listening_port_ = 0;
  std::optional<int> exit_code_;

  // Used by the server thread only; allocated once when listening begins.
  std::unique_ptr<char[]> request_;
  std::string page_;
  StatusSnapshot snapshot_;

  std::thread thread_;  // last: it starts once everything above is built
};
