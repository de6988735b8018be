// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "server/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <string_view>

#include "core/report.h"
#include "core/text_format.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Errors of accept() that concern one connection or a passing shortage of resources, not the
// listening socket: the server goes on accepting.
bool IsTransientAcceptError(int error) {
  switch (error) {
    case EAGAIN:
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case EPERM:  // refused by a firewall rule
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
    case ETIMEDOUT:
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
      return true;
    default:
      return false;
  }
}

bool IsResourceShortage(int error) {
  return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

}  // namespace

StatusServer::StatusServer(CounterState& state, uint16_t port, ServerOptions options)
    : state_(state), port_(port), options_(std::move(options)) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
    wake_read_ = UniqueFd(ends[0]);
    wake_write_ = UniqueFd(ends[1]);
  }
  thread_ = std::thread([this] { ServerThread(); });
}

StatusServer::~StatusServer() {
  if (wake_write_.valid()) {
    const char stop = 1;
    // The pipe stays readable from then on, so every later wait of the thread sees it; a full
    // pipe (impossible with one byte) would already be readable.
    [[maybe_unused]] ssize_t written = ::write(wake_write_.get(), &stop, 1);
  }
  if (thread_.joinable()) thread_.join();
}

uint16_t StatusServer::WaitListening(milliseconds timeout) {
  std::unique_lock lock(phase_mutex_);
  phase_changed_.wait_for(lock, timeout,
                          [this] { return listening_port_ != 0 || exit_code_.has_value(); });
  return listening_port_;
}

std::optional<int> StatusServer::WaitEnded(milliseconds timeout) {
  std::unique_lock lock(phase_mutex_);
  phase_changed_.wait_for(lock, timeout, [this] { return exit_code_.has_value(); });
  return exit_code_;
}

void StatusServer::ServerThread() {
  PostLogLine(state_, StringPrintf("Starting server on port %d...", static_cast<int>(port_)));
  const int code = ServeHttp();
  if (code != kServeStopped)
    PostLogLine(state_, StringPrintf("HTTPD failed to start, err=%d", code));
  {
    std::lock_guard lock(phase_mutex_);
    exit_code_ = code;
  }
  phase_changed_.notify_all();
}

int StatusServer::ServeHttp() {
  // The socket library needs no start-up here, so exit code 1 cannot happen; without the wake-up
  // pipe the server could not be stopped, which is the nearest failure of that step.
  if (!wake_read_.valid()) {
    PostLogLine(state_, "HTTPD: WSAStartup failed.");
    return kServeStartupFailed;
  }
  UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listener.valid()) {
    PostLogLine(state_, "HTTPD: socket() failed.");
    return kServeSocketFailed;
  }
  // Lets a restarted program bind at once while old connections sit in TIME_WAIT; a port that
  // a listening socket holds still refuses the bind.
  const int on = 1;
  if (::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
    // Not fatal: only a quick restart on the same port would then fail at bind.
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port_);
  if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    PostLogLine(state_, "HTTPD: bind() failed.");
    return kServeBindFailed;
  }
  if (::listen(listener.get(), 4) != 0) {
    PostLogLine(state_, "HTTPD: listen() failed.");
    return kServeListenFailed;
  }

  request_.reset(new (std::nothrow) char[options_.buffer_size]);
  bool have_page = request_ != nullptr;
  if (have_page) {
    try {
      page_.reserve(kServerBufferSize);
    } catch (const std::bad_alloc&) {
      have_page = false;
    }
  }
  if (!have_page) {
    PostLogLine(state_, "HTTPD: Out of memory for the request buffer.");
    return kServeNoBuffer;
  }

  sockaddr_in bound{};
  socklen_t bound_length = sizeof bound;
  uint16_t port = port_;
  if (::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&bound), &bound_length) == 0) {
    port = ntohs(bound.sin_port);
  }
  PostLogLine(state_, StringPrintf("HTTPD: Listening on port %d...", static_cast<int>(port)));
  state_.server_running = true;
  {
    std::lock_guard lock(phase_mutex_);
    listening_port_ = port;
  }
  phase_changed_.notify_all();

  for (;;) {
    const Wait waited = WaitFor(listener.get(), POLLIN, milliseconds(-1));
    if (waited == Wait::kStopped) return kServeStopped;
    // The peer's address is not needed.
    UniqueFd connection(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!connection.valid()) {
      const int error = errno;
      if (!IsTransientAcceptError(error)) {
        PostLogLine(state_, "HTTPD: accept() error ");
        return kServeAcceptFailed;
      }
      // Out of descriptors or memory: the pending connection stays queued, so pause instead of
      // spinning on it, and try again.
      if (IsResourceShortage(error) && WaitFor(-1, 0, milliseconds(50)) == Wait::kStopped) {
        return kServeStopped;
      }
      continue;
    }
    ServeConnection(std::move(connection));
  }
}

void StatusServer::ServeConnection(UniqueFd connection) {
  if (WaitFor(connection.get(), POLLIN, options_.io_timeout) != Wait::kReady) return;
  ssize_t received;
  do {
    received = ::recv(connection.get(), request_.get(), options_.buffer_size, 0);
  } while (received < 0 && errno == EINTR);
  // A failed receive has no request to answer; a peer that closed at once sent none.
  if (received <= 0) return;

  const std::string_view request(request_.get(), static_cast<size_t>(received));
  if (request.find(state_.jpg_file_name) != std::string_view::npos) {
    const size_t length = BuildImageResponse(std::span<char>(request_.get(), options_.buffer_size),
                                             state_.jpg_file_name);
    if (length > 0) SendAll(connection.get(), request_.get(), length);
  } else if (request.find("GET") != std::string_view::npos ||
             request.find("get") != std::string_view::npos) {
    try {
      TakeStatusSnapshot(state_, snapshot_);
      snapshot_.time_stamp = options_.time_stamp ? options_.time_stamp() : TimeStamp();
      const size_t length = BuildStatusPage(page_, snapshot_);
      SendAll(connection.get(), page_.data(), length);
    } catch (const std::bad_alloc&) {
      // A history too large for the memory left: this request gets no page, the server goes on.
    }
  }
  CloseConnection(std::move(connection));
}

StatusServer::Wait StatusServer::WaitFor(int fd, short events, milliseconds timeout) const {
  const bool forever = timeout.count() < 0;
  const Clock::time_point deadline = Clock::now() + (forever ? milliseconds(0) : timeout);
  for (;;) {
    pollfd watched[2] = {{wake_read_.get(), POLLIN, 0}, {fd, events, 0}};
    int wait_ms = -1;
    if (!forever) {
      const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
      wait_ms = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
    const int ready = ::poll(watched, fd >= 0 ? 2 : 1, wait_ms);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return Wait::kStopped;  // poll itself failing leaves no way to wait: end the server
    }
    if (watched[0].revents != 0) return Wait::kStopped;
    // An error or hang-up is ready too: the following call reports it.
    if (fd >= 0 && watched[1].revents != 0) return Wait::kReady;
    if (!forever && Clock::now() >= deadline) return Wait::kTimedOut;
  }
}

bool StatusServer::SendAll(int fd, const char* data, size_t length) const {
  size_t sent = 0;
  while (sent < length) {
    // MSG_NOSIGNAL: a peer gone away must not end the program with SIGPIPE.
    const ssize_t n = ::send(fd, data + sent, length - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // A reader that takes nothing for the whole time-out loses the rest of the response.
      if (WaitFor(fd, POLLOUT, options_.io_timeout) != Wait::kReady) return false;
    } else {
      return false;  // the peer is gone; the connection is closed as usual
    }
  }
  return true;
}

void StatusServer::CloseConnection(UniqueFd connection) {
  // Closing with request bytes still unread makes the kernel reset the connection, and the
  // client may then lose the end of the response. So when the request was longer than the one
  // receive took, the response is ended with a FIN and the rest is read and dropped until the
  // client closes, for at most the time-out.
  int unread = 0;
  if (::ioctl(connection.get(), FIONREAD, &unread) != 0 || unread <= 0) return;
  ::shutdown(connection.get(), SHUT_WR);
  const Clock::time_point deadline = Clock::now() + options_.io_timeout;
  for (;;) {
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return;
    if (WaitFor(connection.get(), POLLIN, left) != Wait::kReady) return;
    const ssize_t n = ::recv(connection.get(), request_.get(), options_.buffer_size, 0);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return;
  }
}
