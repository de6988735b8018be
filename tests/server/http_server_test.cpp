// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "server/http_server.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/owner_thread.h"
#include "core/process.h"
#include "server/http_client.h"
#include "server/status_page.h"
#include "server/status_server.h"
#include "support/fake_controls.h"

namespace {

using namespace std::chrono_literals;

constexpr const char kNow[] = "Fri Dec 11 10:00:00 2026\n";

size_t OpenDescriptors() {
  size_t count = 0;
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return 0;
  while (dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(dir);
  return count;
}

class ServerTest : public ::testing::Test {
 protected:
  ServerTest() : cwd_(dir_.path()) {
    window_.Attach(state_);
    state_.owner = &queue_;
    state_.history = CountHistory::Allocate(10);
    state_.history.Store(0, 5);
    state_.history.Store(1, 7);
    state_.history.Store(2, 12);
    state_.iteration = 3;
    state_.current_cpm = 720.4;
  }

  uint16_t Start(ServerOptions options = {}) {
    options.time_stamp = [] { return std::string(kNow); };
    server_ = std::make_unique<StatusServer>(state_, 0, std::move(options));
    const uint16_t port = server_->WaitListening(10s);
    EXPECT_NE(port, 0);
    return port;
  }

  std::string ExpectedPage() {
    StatusSnapshot snapshot;
    TakeStatusSnapshot(state_, snapshot);
    snapshot.time_stamp = kNow;
    std::string page;
    BuildStatusPage(page, snapshot);
    return page;
  }

  std::string WritePicture(size_t bytes) {
    std::string picture;
    for (size_t i = 0; i < bytes; ++i) picture += static_cast<char>(i * 7 % 256);
    std::ofstream(state_.jpg_file_name, std::ios::binary) << picture;
    return picture;
  }

  std::vector<std::string> Log() {
    queue_.RunPending();
    return window_.log.lines;
  }

  TempDir dir_;
  ScopedWorkingDir cwd_;
  CounterState state_;
  TaskQueue queue_;
  FakeWindow window_;
  std::unique_ptr<StatusServer> server_;  // last: stopped before the state goes
};

TEST_F(ServerTest, AnswersByWhatTheRequestMentions) {
  const std::string picture = WritePicture(300);
  const uint16_t port = Start();
  const std::string page = ExpectedPage();
  const std::string image = std::string(kImageHeader) + picture;
  struct Case {
    const char* request;
    const std::string& expected;
  };
  const std::string nothing;
  const Case cases[] = {
      {"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", page},
      {"GET /favicon.ico HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", page},
      {"GET /any/other/path?x=1 HTTP/1.0\r\n\r\n", page},
      {"get / http/1.0\r\n\r\n", page},
      {"GET /blipcount.jpg HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", image},
      {"GET /elsewhere HTTP/1.1\r\nReferer: http://127.0.0.1/blipcount.jpg\r\n\r\n", image},
      {"POST /blipcount.jpg HTTP/1.0\r\n\r\n", image},
      {"Get / HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n", nothing},
      {"POST / HTTP/1.0\r\nContent-Length: 0\r\n\r\n", nothing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    const std::optional<std::string> response = Exchange(port, c.request);
    ASSERT_TRUE(response.has_value());
    EXPECT_EQ(*response, c.expected);
  }
  EXPECT_TRUE(state_.server_running);
}

TEST_F(ServerTest, PictureOf1000BytesIsSentAsStored) {
  const std::string picture = WritePicture(1000);
  const uint16_t port = Start();
  const std::optional<std::string> response = Exchange(port, "GET /blipcount.jpg HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(response.has_value());
  ASSERT_EQ(response->size(), 1045u);
  EXPECT_EQ(response->substr(0, 45), kImageHeader);
  EXPECT_EQ(response->substr(45), picture);
}

TEST_F(ServerTest, NoPictureFileClosesWithoutBytes) {
  const uint16_t port = Start();
  EXPECT_EQ(Exchange(port, "GET /blipcount.jpg HTTP/1.0\r\n\r\n"), std::string());
  EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n"), ExpectedPage());
}

TEST_F(ServerTest, PeerThatClosesWithoutSendingGetsNothingAndServingGoesOn) {
  const uint16_t port = Start();
  {
    UniqueFd quiet = ConnectLocal(port);
    ASSERT_TRUE(quiet.valid());
    ::shutdown(quiet.get(), SHUT_WR);
    EXPECT_EQ(ReadToClose(quiet.get()), std::string());
  }
  { UniqueFd gone = ConnectLocal(port); }
  EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n"), ExpectedPage());
}

TEST_F(ServerTest, LogLinesAndASecondServerOnATakenPort) {
  const uint16_t port = Start();
  EXPECT_EQ(Log(),
            (std::vector<std::string>{"Starting server on port 0...",
                                      "HTTPD: Listening on port " + std::to_string(port) + "..."}));
  window_.log.Clear();

  StatusServer second(state_, port);
  EXPECT_EQ(second.WaitEnded(10s), std::optional<int>(3));
  EXPECT_EQ(second.WaitListening(0ms), 0);
  const std::string p = std::to_string(port);
  EXPECT_EQ(Log(),
            (std::vector<std::string>{"Starting server on port " + p + "...",
                                      "HTTPD: bind() failed.", "HTTPD failed to start, err=3"}));
  // The first one keeps serving.
  EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n"), ExpectedPage());
  EXPECT_EQ(server_->WaitEnded(0ms), std::nullopt);
}

TEST_F(ServerTest, StoppingLogsNothingMoreAndDoesNotWaitForAQuietClient) {
  ServerOptions options;
  options.io_timeout = 60s;
  const uint16_t port = Start(options);
  UniqueFd quiet = ConnectLocal(port);
  ASSERT_TRUE(quiet.valid());
  std::this_thread::sleep_for(100ms);  // let the server take it and wait for its request
  const auto before = std::chrono::steady_clock::now();
  server_.reset();
  // Far less than the receive time-out: the stop wakes the waiting connection.
  EXPECT_LT(std::chrono::steady_clock::now() - before, 30s);
  EXPECT_EQ(ReadToClose(quiet.get()), std::string());
  EXPECT_EQ(Log().size(), 2u);  // "Starting ...", "Listening ..." and no failure line
}

TEST(StartStatusServer, RefusesAPortOutside1To65535) {
  for (uint32_t port : {0u, 65536u, 70000u}) {
    CounterState state;
    FakeWindow window;
    window.Attach(state);
    EXPECT_EQ(StartStatusServer(state, port), nullptr);
    EXPECT_EQ(window.log.lines,
              std::vector<std::string>{"HTTPD: Port " + std::to_string(port) +
                                       " is not in 1 to 65535; the server was not started."});
    EXPECT_FALSE(state.server_running);
  }
}

TEST(StartStatusServer, ServesOnTheGivenPort) {
  // A port that was free a moment ago.
  uint16_t port = 0;
  {
    UniqueFd probe(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(probe.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ::getsockname(probe.get(), reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
  }
  CounterState state;
  std::unique_ptr<StatusServer> server = StartStatusServer(state, port);
  ASSERT_NE(server, nullptr);
  ASSERT_EQ(server->WaitListening(10s), port);
  const std::optional<std::string> page = Exchange(port, "GET / HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(page.has_value());
  EXPECT_EQ(page->rfind(kPageHeader, 0), 0u);
  EXPECT_TRUE(state.server_running);
}

TEST_F(ServerTest, QuietClientHoldsOthersOnlyUntilItsTimeOut) {
  ServerOptions options;
  options.io_timeout = 500ms;
  const uint16_t port = Start(options);
  UniqueFd quiet = ConnectLocal(port);
  ASSERT_TRUE(quiet.valid());
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n"), ExpectedPage());
  EXPECT_EQ(ReadToClose(quiet.get()), std::string());  // closed, unanswered
}

TEST_F(ServerTest, ReaderThatTakesNothingIsDroppedAfterItsTimeOut) {
  // A page far larger than the socket buffers, and a client that never reads it.
  state_.history = CountHistory::Allocate(999999);
  state_.iteration = 999999;
  ServerOptions options;
  options.io_timeout = 500ms;
  const uint16_t port = Start(options);
  UniqueFd stuck = ConnectLocal(port);
  ASSERT_TRUE(SendText(stuck.get(), "GET / HTTP/1.0\r\n\r\n"));
  const std::optional<std::string> page = Exchange(port, "GET / HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(page.has_value());
  EXPECT_EQ(page->size(), ExpectedPage().size());
}

TEST_F(ServerTest, RequestLongerThanTheBufferStillGetsThePage) {
  const uint16_t port = Start();
  UniqueFd client = ConnectLocal(port);
  ASSERT_TRUE(client.valid());
  const std::string request =
      "GET / HTTP/1.0\r\nX-Padding: " + std::string(5 * 1024 * 1024, 'a') + "\r\n\r\n";
  std::thread sender([&] { SendText(client.get(), request); });
  const std::optional<std::string> response = ReadToClose(client.get());
  sender.join();
  client.Reset();  // the server drops the rest of the request until the client closes
  EXPECT_EQ(response, ExpectedPage());
  EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n"), ExpectedPage());
}

TEST_F(ServerTest, OnlyTheBytesOfTheOneReceiveAreClassified) {
  ServerOptions options;
  options.buffer_size = 8;  // the request text ends at the buffer's last byte
  const uint16_t port = Start(options);
  EXPECT_EQ(Exchange(port, "12345GET / HTTP/1.0\r\n\r\n"), ExpectedPage());
  EXPECT_EQ(Exchange(port, "123456GET / HTTP/1.0\r\n\r\n"), std::string());
}

TEST_F(ServerTest, ConnectionResetBeforeItIsAccepted) {
  ServerOptions options;
  options.io_timeout = 300ms;
  const uint16_t port = Start(options);
  UniqueFd quiet = ConnectLocal(port);  // keeps the server busy while the next one resets
  std::this_thread::sleep_for(50ms);
  {
    UniqueFd reset = ConnectLocal(port);
    ASSERT_TRUE(reset.valid());
    const linger abort_on_close{1, 0};
    ::setsockopt(reset.get(), SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
  }
  EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n"), ExpectedPage());
  EXPECT_EQ(server_->WaitEnded(0ms), std::nullopt);
}

TEST_F(ServerTest, SurvivesRunningOutOfDescriptors) {
  const uint16_t port = Start();
  UniqueFd client = ConnectLocal(port);
  ASSERT_TRUE(client.valid());
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  // No descriptor above the client's can be opened: the server's accept fails with EMFILE.
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(client.get()) + 1;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  ASSERT_TRUE(SendText(client.get(), "GET / HTTP/1.0\r\n\r\n"));
  std::this_thread::sleep_for(300ms);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
  EXPECT_EQ(ReadToClose(client.get()), ExpectedPage());
  EXPECT_EQ(server_->WaitEnded(0ms), std::nullopt);
}

TEST_F(ServerTest, TenThousandRequestsWithoutFailureOrLeak) {
  const uint16_t port = Start();
  const std::string page = ExpectedPage();
  ASSERT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n"), page);  // the server's buffers are made
  const size_t descriptors = OpenDescriptors();
  int failures = 0;
  for (int i = 0; i < 10000; ++i) {
    if (Exchange(port, "GET / HTTP/1.0\r\nConnection: close\r\n\r\n") != page) ++failures;
  }
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

// Run under the tsan preset: pages are built while the owner thread stores periods and
// replaces the history, as Start does.
TEST_F(ServerTest, PagesWhileTheOwnerStoresPeriods) {
  state_.sample_buffer = ZeroedBlock::Allocate(state_.samplerate);
  const uint16_t port = Start();
  std::atomic<bool> done{false};
  std::atomic<int> bad{0};
  std::thread client([&] {
    for (int i = 0; i < 400; ++i) {
      const std::optional<std::string> page = Exchange(port, "GET / HTTP/1.0\r\n\r\n");
      if (!page || page->rfind(kPageHeader, 0) != 0 || !page->ends_with("\n</html>\n")) ++bad;
    }
    done = true;
  });
  uint32_t runs = 0;
  while (!done) {
    if (runs++ % 50 == 0) {
      std::lock_guard lock(state_.shared_mutex);
      state_.history = CountHistory::Allocate(100);
      state_.iteration = 0;
      state_.repeat = 100;
    }
    ProcessSample(state_);
    queue_.RunPending();
  }
  client.join();
  EXPECT_EQ(bad, 0);
  EXPECT_GT(runs, 0u);
}

}  // namespace
