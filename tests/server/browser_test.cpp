// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// The status page in a real browser: headless Chromium loads it from the server, decodes the
// picture that cjpeg made from our bitmap, and reloads the page once per period. The browser is
// driven over its DevTools pipe (fd 3 in, fd 4 out, messages ended by a zero byte).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/owner_thread.h"
#include "server/http_client.h"
#include "server/http_server.h"

#ifdef BLIPCOUNT_HAVE_BITMAP
#include "graph/bitmap_file.h"
#endif

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char kChromium[] = "/usr/bin/chromium";
constexpr int kPictureWidth = 120;
constexpr int kPictureHeight = 80;

// A test picture: a white frame around a green field with a diagonal red line.
std::vector<uint32_t> TestPixels() {
  std::vector<uint32_t> pixels(size_t{kPictureWidth} * kPictureHeight, 0xff008000);
  for (int y = 0; y < kPictureHeight; ++y) {
    for (int x = 0; x < kPictureWidth; ++x) {
      uint32_t& pixel = pixels[size_t(y) * kPictureWidth + x];
      if (x == 0 || y == 0 || x == kPictureWidth - 1 || y == kPictureHeight - 1) pixel = 0xffffffff;
      if (x * kPictureHeight == y * kPictureWidth) pixel = 0xffff0000;
    }
  }
  return pixels;
}

bool WriteTestBitmap(const std::string& name) {
  const std::vector<uint32_t> pixels = TestPixels();
#ifdef BLIPCOUNT_HAVE_BITMAP
  const PixelView view{pixels.data(), kPictureWidth, kPictureHeight, size_t{kPictureWidth}};
  return WriteBitmapFile(view, name, 24) == 1;
#else
  // A 24-bit bottom-up BMP; rows of 360 bytes need no padding.
  auto put16 = [](std::string& out, uint32_t v) { out.append({char(v), char(v >> 8)}); };
  auto put32 = [](std::string& out, uint32_t v) {
    out.append({char(v), char(v >> 8), char(v >> 16), char(v >> 24)});
  };
  const uint32_t image_bytes = kPictureWidth * kPictureHeight * 3;
  std::string bmp = "BM";
  put32(bmp, 54 + image_bytes);
  put32(bmp, 0);
  put32(bmp, 54);
  put32(bmp, 40);
  put32(bmp, kPictureWidth);
  put32(bmp, kPictureHeight);
  put16(bmp, 1);
  put16(bmp, 24);
  for (uint32_t v : {0u, image_bytes, 2835u, 2835u, 0u, 0u}) put32(bmp, v);
  for (int y = kPictureHeight - 1; y >= 0; --y) {
    for (int x = 0; x < kPictureWidth; ++x) {
      const uint32_t p = pixels[size_t(y) * kPictureWidth + x];
      bmp.append({char(p), char(p >> 8), char(p >> 16)});
    }
  }
  std::ofstream out(name, std::ios::binary);
  out << bmp;
  return bool(out);
#endif
}

// Runs a program to its end; returns its exit status, -1 when it could not be run.
int RunProgram(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One headless Chromium in its own process group, stopped by its process id.
class Browser {
 public:
  Browser(const std::filesystem::path& profile, const std::string& url) {
    int to_browser[2], from_browser[2];
    if (pipe2(to_browser, O_CLOEXEC) != 0 || pipe2(from_browser, O_CLOEXEC) != 0) return;
    // Kept above 4, so that the moves to 3 and 4 below never meet a descriptor already there.
    commands_ = UniqueFd(fcntl(to_browser[1], F_DUPFD_CLOEXEC, 10));
    replies_ = UniqueFd(fcntl(from_browser[0], F_DUPFD_CLOEXEC, 10));
    UniqueFd browser_in(fcntl(to_browser[0], F_DUPFD_CLOEXEC, 10));
    UniqueFd browser_out(fcntl(from_browser[1], F_DUPFD_CLOEXEC, 10));
    for (int fd : {to_browser[0], to_browser[1], from_browser[0], from_browser[1]}) close(fd);

    const std::string log = (profile / "chromium.log").string();
    std::vector<std::string> args = {kChromium,
                                     "--headless",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--disable-quic",
                                     "--no-first-run",
                                     "--disable-background-networking",
                                     "--disable-component-update",
                                     "--disable-sync",
                                     "--user-data-dir=" + (profile / "profile").string(),
                                     "--remote-debugging-pipe",
                                     url};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, browser_in.get(), 3);
    posix_spawn_file_actions_adddup2(&actions, browser_out.get(), 4);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    if (posix_spawn(&pid_, kChromium, &actions, &attributes, argv.data(), environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }

  ~Browser() {
    if (pid_ <= 0) return;
    Send("Browser.close", "{}");
    const Clock::time_point deadline = Clock::now() + 5s;
    while (Clock::now() < deadline) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        kill(-pid_, SIGKILL);  // helpers of the browser that outlived it
        return;
      }
      std::this_thread::sleep_for(50ms);
    }
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }

  bool started() const { return pid_ > 0; }

  // Sends one command (to a page session when `session` is set) and waits up to `timeout` for
  // its reply, passing over events. Returns the reply's text.
  std::optional<std::string> Call(const std::string& method, const std::string& params,
                                  const std::string& session = "",
                                  std::chrono::milliseconds timeout = 20s) {
    const int id = Send(method, params, session);
    if (id < 0) return std::nullopt;
    const std::string wanted = "{\"id\":" + std::to_string(id) + ",";
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
      const size_t end = pending_.find('\0');
      if (end != std::string::npos) {
        std::string message = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (message.rfind(wanted, 0) == 0) return message;
        continue;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd watched{replies_.get(), POLLIN, 0};
      if (poll(&watched, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[65536];
      const ssize_t n = read(replies_.get(), chunk, sizeof chunk);
      if (n <= 0) return std::nullopt;  // the browser went away
      pending_.append(chunk, static_cast<size_t>(n));
    }
  }

  // Evaluates a one-line script without double quotes or backslashes in the page and returns
  // the string it gives, or nothing when the page could not answer (for instance mid-reload).
  std::optional<std::string> Evaluate(const std::string& session, const std::string& script) {
    const std::optional<std::string> reply =
        Call("Runtime.evaluate",
             "{\"expression\":\"" + script + "\",\"awaitPromise\":true,\"returnByValue\":true}",
             session);
    if (!reply || reply->find("\"exceptionDetails\"") != std::string::npos) return std::nullopt;
    return StringField(*reply, "value");
  }

  // The text of the first `"key":"..."` in a reply.
  static std::optional<std::string> StringField(const std::string& json, const std::string& key,
                                                size_t from = 0) {
    const std::string marker = "\"" + key + "\":\"";
    const size_t start = json.find(marker, from);
    if (start == std::string::npos) return std::nullopt;
    const size_t first = start + marker.size();
    const size_t last = json.find('"', first);
    if (last == std::string::npos) return std::nullopt;
    return json.substr(first, last - first);
  }

 private:
  int Send(const std::string& method, const std::string& params, const std::string& session = "") {
    const int id = ++last_id_;
    std::string message = "{\"id\":" + std::to_string(id) + ",";
    if (!session.empty()) message += "\"sessionId\":\"" + session + "\",";
    message += "\"method\":\"" + method + "\",\"params\":" + params + "}";
    message.push_back('\0');
    size_t sent = 0;
    while (sent < message.size()) {
      const ssize_t n = write(commands_.get(), message.data() + sent, message.size() - sent);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return -1;
      sent += static_cast<size_t>(n);
    }
    return id;
  }

  pid_t pid_ = 0;
  UniqueFd commands_;
  UniqueFd replies_;
  std::string pending_;
  int last_id_ = 0;
};

TEST(StatusPageInBrowser, ShowsThePictureAndReloadsOncePerPeriod) {
  ASSERT_EQ(access(kChromium, X_OK), 0) << kChromium << " is needed (scripts/setup.sh installs it)";
  TempDir dir;
  ScopedWorkingDir cwd(dir.path());
  ASSERT_TRUE(WriteTestBitmap("blipcount.bmp"));
  ASSERT_EQ(RunProgram({"cjpeg", "-progressive", "-outfile", "blipcount.jpg", "blipcount.bmp"}), 0);

  CounterState state;
  TaskQueue owner;
  state.owner = &owner;
  constexpr uint32_t kSampleTime = 2;
  state.sampletime = kSampleTime;
  state.history = CountHistory::Allocate(10);
  state.history.Store(0, 42);
  state.iteration = 1;
  StatusServer server(state, 0);
  const uint16_t port = server.WaitListening(10s);
  ASSERT_NE(port, 0);

  Browser browser(dir.path(), "http://127.0.0.1:" + std::to_string(port) + "/");
  ASSERT_TRUE(browser.started());

  // The page the browser opened with its URL.
  std::optional<std::string> session;
  for (const Clock::time_point until = Clock::now() + 30s; !session && Clock::now() < until;) {
    const std::optional<std::string> targets = browser.Call("Target.getTargets", "{}");
    ASSERT_TRUE(targets.has_value()) << "no answer from the browser";
    const size_t page = targets->find("\"type\":\"page\"");
    if (page == std::string::npos) {
      std::this_thread::sleep_for(100ms);
      continue;
    }
    const size_t info = targets->rfind("\"targetId\":\"", page);
    const std::optional<std::string> target = Browser::StringField(*targets, "targetId", info);
    ASSERT_TRUE(target.has_value());
    const std::optional<std::string> attached = browser.Call(
        "Target.attachToTarget", "{\"targetId\":\"" + *target + "\",\"flatten\":true}");
    ASSERT_TRUE(attached.has_value());
    session = Browser::StringField(*attached, "sessionId");
  }
  ASSERT_TRUE(session.has_value()) << "the browser showed no page";

  // Once the page and its picture are loaded: the picture's decoded size, the page's text, and
  // the moment its document began. A mark on the window tells this document from its reload.
  const std::string loaded_script =
      "new Promise(done => { const check = () => { const img = document.images[0];"
      " if (document.readyState === 'complete' && img && img.complete"
      " && !window.blipcountMark) { window.blipcountMark = 1;"
      " done(img.naturalWidth + ' ' + img.naturalHeight + ' ' + performance.timeOrigin); }"
      " else setTimeout(check, 50); }; check(); })";
  std::optional<std::string> first;
  for (const Clock::time_point until = Clock::now() + 30s; !first && Clock::now() < until;) {
    first = browser.Evaluate(*session, loaded_script);
  }
  ASSERT_TRUE(first.has_value()) << "the page did not load";
  int width = 0, height = 0;
  double first_origin = 0;
  ASSERT_EQ(std::sscanf(first->c_str(), "%d %d %lf", &width, &height, &first_origin), 3) << *first;
  EXPECT_EQ(width, kPictureWidth);
  EXPECT_EQ(height, kPictureHeight);

  const std::optional<std::string> text = browser.Evaluate(
      *session, "document.body.innerText.split(String.fromCharCode(10)).join('|')");
  ASSERT_TRUE(text.has_value());
  EXPECT_NE(text->find("Current iteration=1 of 10"), std::string::npos) << *text;
  EXPECT_NE(text->find("Ave=1260 CPM"), std::string::npos) << *text;  // 42 counts per 2 s
  EXPECT_NE(text->find("Sample time=2 secs"), std::string::npos) << *text;
  EXPECT_NE(text->find("42,"), std::string::npos) << *text;

  // The reload: a new document without the mark, begun about one period after the first.
  std::optional<std::string> second;
  for (const Clock::time_point until = Clock::now() + 20s; !second && Clock::now() < until;) {
    second = browser.Evaluate(*session, loaded_script);
    if (!second) std::this_thread::sleep_for(100ms);
  }
  ASSERT_TRUE(second.has_value()) << "the page did not reload";
  double second_origin = 0;
  ASSERT_EQ(std::sscanf(second->c_str(), "%d %d %lf", &width, &height, &second_origin), 3);
  EXPECT_EQ(width, kPictureWidth);
  const double gap_ms = second_origin - first_origin;
  std::printf("picture %dx%d decoded; reloaded %.0f ms after the first load began\n", width, height,
              gap_ms);
  EXPECT_GE(gap_ms, kSampleTime * 1000.0 - 100.0);
  EXPECT_LT(gap_ms, kSampleTime * 1000.0 + 8000.0);
}

}  // namespace
