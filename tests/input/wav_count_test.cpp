// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// Read File's counting while it reads, on the caller's thread and on the worker.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <future>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/detect.h"
#include "core/owner_thread.h"
#include "earlier_run.h"
#include "input/wav_input.h"
#include "support/fake_controls.h"
#include "support/temp_dir.h"
#include "tools/click_gen.h"

namespace {

using Lines = std::vector<std::string>;
using Outcome = WavCount::Outcome;

// Random samples: a jump above the threshold at about every third pair, so every chunk joint
// is tested both ways.
std::vector<uint8_t> NoisySamples(size_t bytes, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> samples(bytes);
  for (uint8_t& s : samples) s = static_cast<uint8_t>(random());
  return samples;
}

uint32_t WholeCount(const std::vector<uint8_t>& file, size_t period) {
  return static_cast<uint32_t>(
      CountPulses(file.data() + 36, std::min(period, file.size() - 36), 100));
}

TEST(CountWavFile, ChunkedCountEqualsTheWholePeriodCount) {
  TempDir dir;
  const std::string path = dir.File("noise.wav");
  // Three seconds and a bit: the period is the first three seconds of the bytes from 36 on.
  const std::vector<uint8_t> file = CanonicalWav(NoisySamples(3 * 11025 + 5000, 1));
  ASSERT_TRUE(WriteBytes(path, file));
  const uint32_t whole = WholeCount(file, 3 * 11025);
  ASSERT_GT(whole, 10000u);
  for (size_t chunk : {size_t{1}, size_t{2}, size_t{3}, size_t{4095}, size_t{11025},
                       size_t{1} << 20, kWavChunkBytes}) {
    WavCountSettings settings;
    settings.chunk_bytes = chunk;
    const WavCount count = CountWavFile(path, settings);
    ASSERT_EQ(count.outcome, Outcome::kCounted) << chunk;
    EXPECT_EQ(count.seconds, 3u);
    EXPECT_EQ(static_cast<uint32_t>(count.pulses), whole) << chunk;
  }
}

TEST(CountWavFile, FileThatShrinksOrGrowsWhileItIsRead) {
  TempDir dir;
  const std::string path = dir.File("changing.wav");
  const std::vector<uint8_t> samples = NoisySamples(4 * 11025, 2);
  WavCountSettings settings;
  settings.chunk_bytes = 4096;

  // Cut to 10,000 sample bytes after the first chunk: the period ends where the file now
  // does, and what it no longer holds adds no pulse.
  std::vector<uint8_t> file = CanonicalWav(samples);
  ASSERT_TRUE(WriteBytes(path, file));
  bool cut = false;
  WavCount count = CountWavFile(path, settings, [&](uint64_t, uint64_t) {
    if (!cut) cut = truncate(path.c_str(), 36 + 10000) == 0;
    return true;
  });
  ASSERT_TRUE(cut);
  ASSERT_EQ(count.outcome, Outcome::kCounted);
  EXPECT_EQ(count.seconds, 4u);
  EXPECT_EQ(static_cast<uint32_t>(count.pulses), WholeCount(file, 10000));

  // The header claims four seconds, the file holds one when the read starts and the rest comes
  // while it is read: the period takes what is there when the read gets to it.
  std::vector<uint8_t> first(file.begin(), file.begin() + 36 + 11025);
  ASSERT_TRUE(WriteBytes(path, first));
  bool grown = false;
  uint64_t last_total = 0;
  count = CountWavFile(path, settings, [&](uint64_t done, uint64_t total) {
    EXPECT_LE(done, total);
    last_total = total;
    if (!grown) {
      const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
      grown = fd >= 0 && write(fd, file.data() + first.size(), file.size() - first.size()) ==
                             static_cast<ssize_t>(file.size() - first.size());
      if (fd >= 0) close(fd);
    }
    return true;
  });
  ASSERT_TRUE(grown);
  ASSERT_EQ(count.outcome, Outcome::kCounted);
  EXPECT_EQ(static_cast<uint32_t>(count.pulses), WholeCount(file, 4 * 11025));
  EXPECT_EQ(last_total, 4u * 11025);
}

// Not a regular file: refused at once, without waiting for a writer or for data, with only the
// reading line (as for a file that cannot be opened), and the sample buffer as it was.
TEST(ReadFileOfAnotherKind, IsRefusedWithoutBlocking) {
  TempDir dir;
  const std::string fifo = dir.File("fifo.wav");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A FIFO whose writer sent a valid header and then stalls.
  const std::string stalled = dir.File("stalled.wav");
  ASSERT_EQ(mkfifo(stalled.c_str(), 0600), 0);
  int stalled_writer = open(stalled.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(stalled_writer, 0);
  const std::vector<uint8_t> header = CanonicalWav(std::vector<uint8_t>(30000, 128));
  ASSERT_EQ(write(stalled_writer, header.data(), 44), 44);
  const std::string folder = dir.File("folder.wav");
  std::filesystem::create_directory(folder);

  for (const std::string& path : {fifo, stalled, folder, std::string("/dev/zero")}) {
    SCOPED_TRACE(path);
    CounterState state;
    FakeWindow window;
    window.Attach(state);
    state.sample_buffer = ZeroedBlock::Allocate(4);
    auto done = std::async(std::launch::async, [&] { ReadWavFileCommand(state, path, false); });
    if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << "Read File waits";
      // Let it go: a writer for the FIFO, and the end of its data.
      const int writer = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (writer >= 0) close(writer);
      if (path == stalled && stalled_writer >= 0) {
        close(stalled_writer);
        stalled_writer = -1;
      }
      done.wait();
      continue;
    }
    EXPECT_EQ(window.log.lines, Lines{"Reading WAV File \"" + path + "\""});
    EXPECT_EQ(state.sample_buffer.size(), 4u);
    EXPECT_EQ(state.sampletime, 1u);
  }
  if (stalled_writer >= 0) close(stalled_writer);
}

// The worker, with the owner thread as a queue the test runs.
class WavFileReadTest : public ::testing::Test {
 protected:
  WavFileReadTest() {
    state.owner = &owner;
    window.Attach(state);
  }

  // Runs the owner's queue until the read has finished.
  bool WaitForFinish() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (read.running() && std::chrono::steady_clock::now() < end) {
      owner.WaitAndRun(std::chrono::milliseconds(5));
    }
    return !read.running();
  }

  // A state as an earlier run left it, to see what a cancelled read leaves alone.
  void EarlierRun() {
    PutEarlierRun(state);
    window.repeat.SetText("5");
  }

  void ExpectEarlierRunKept() {
    ExpectEarlierRun(state);
    EXPECT_EQ(state.sample_buffer.size(), 4u);
    EXPECT_EQ(window.repeat.Text(), "5");
    EXPECT_EQ(window.counts.Text(), "");
  }

  TempDir dir;
  CounterState state;
  TaskQueue owner;
  FakeWindow window;
  bool capturing = false;
  WavFileRead read{state, [this] { return capturing; }};
};

// Every outcome, through the worker and on the caller's thread: the same log lines, results
// and state.
TEST(WavFileRead, SameResultsAndLinesAsTheCommandOnTheCallersThread) {
  TempDir dir;
  std::vector<uint8_t> claims_more = CanonicalWav(std::vector<uint8_t>(20000, 128));
  std::memset(claims_more.data() + 4, 0xFF, 4);
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> files = {
      {"clicks", CanonicalWav(RenderClicks(110250, EvenClickPositions(110000, 20)))},
      {"noise", CanonicalWav(NoisySamples(2 * 11025, 3))},
      {"claims more than it holds", claims_more},
      {"stereo", CanonicalWav(std::vector<uint8_t>(30000, 128), 11025, 2)},
      {"shorter than a header", std::vector<uint8_t>(20, 'W')},
      {"under a second", CanonicalWav(std::vector<uint8_t>(11025 - 37, 128))},
      {"cannot be opened", {}},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    const std::string path = dir.File(name);
    if (!bytes.empty()) {
      ASSERT_TRUE(WriteBytes(path, bytes));
    }
    // Each side's periods as the outputs beside the window (the record) take them.
    struct Side : PeriodListener {
      CounterState state;
      FakeWindow window;
      std::vector<std::string> sources;
      Side() {
        window.Attach(state);
        state.timingticksperminute = 120;  // some periods go negative
        state.sample_buffer = ZeroedBlock::Allocate(4);
        state.period_listeners.push_back(this);
      }
      void OnPeriod(const PeriodReport& period) override { sources.push_back(period.source); }
    };
    Side today, worker;
    ReadWavFileCommand(today.state, path, false);

    TaskQueue owner;
    worker.state.owner = &owner;
    WavFileRead read(worker.state, [] { return false; });
    read.SetCountSettings(1000);  // many chunks
    ASSERT_TRUE(read.Begin(path));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (read.running() && std::chrono::steady_clock::now() < end) {
      owner.WaitAndRun(std::chrono::milliseconds(5));
    }
    ASSERT_FALSE(read.running());

    EXPECT_EQ(worker.window.log.lines, today.window.log.lines);
    EXPECT_GE(today.window.log.lines.size(), 1u);
    EXPECT_EQ(worker.state.repeat, today.state.repeat);
    EXPECT_EQ(worker.state.sampletime, today.state.sampletime);
    EXPECT_EQ(worker.state.iteration, today.state.iteration);
    ASSERT_EQ(worker.state.history.size(), today.state.history.size());
    for (uint64_t i = 0; i < today.state.history.size(); ++i) {
      EXPECT_EQ(worker.state.history.entries()[i], today.state.history.entries()[i]);
    }
    EXPECT_EQ(worker.state.sample_buffer.present(), today.state.sample_buffer.present());
    EXPECT_EQ(worker.window.counts.Text(), today.window.counts.Text());
    EXPECT_EQ(worker.window.sampletime.Text(), today.window.sampletime.Text());
    // A counted file's period comes from the file.
    EXPECT_EQ(worker.sources.size(), worker.state.iteration);
    EXPECT_EQ(worker.sources, today.sources);
    for (const std::string& source : worker.sources) EXPECT_EQ(source, path);
    EXPECT_TRUE(worker.state.period_source.empty());
  }
}

// The worker held after its first chunk, while the owner acts.
class HeldWorkerTest : public WavFileReadTest {
 protected:
  HeldWorkerTest() {
    path = dir.File("long.wav");
    EXPECT_TRUE(
        WriteBytes(path, CanonicalWav(RenderClicks(5 * 11025, EvenClickPositions(5 * 11025, 40)))));
    read.SetCountSettings(4096);
    read.SetChunkObserver([this](uint64_t done) {
      std::unique_lock lock(mutex);
      chunks_seen = done;
      changed.notify_all();
      changed.wait(lock, [this] { return released; });
    });
  }
  ~HeldWorkerTest() override {
    // The worker refers to this fixture's lock: it ends before the fixture goes.
    Release();
    read.Cancel();
    WaitForFinish();
  }

  void WaitForFirstChunk() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return chunks_seen > 0; });
  }
  void Release() {
    std::lock_guard lock(mutex);
    released = true;
    changed.notify_all();
  }

  std::string path;
  std::mutex mutex;
  std::condition_variable changed;
  uint64_t chunks_seen = 0;
  bool released = false;
};

TEST_F(HeldWorkerTest, CancelInTheMiddleLeavesTheStateAsItWas) {
  EarlierRun();
  bool finished = false;
  ASSERT_TRUE(read.Begin(path, [&] { finished = true; }));
  WaitForFirstChunk();
  EXPECT_GT(read.progress(), 0.0);
  EXPECT_LT(read.progress(), 0.1);
  read.Cancel();
  Release();
  ASSERT_TRUE(WaitForFinish());
  EXPECT_TRUE(finished);
  EXPECT_EQ(window.log.lines, (Lines{"Reading WAV File \"" + path + "\"", kWavCancelled}));
  ExpectEarlierRunKept();
}

TEST_F(HeldWorkerTest, ReadFileWhileOneIsRunningIsRefused) {
  ASSERT_TRUE(read.Begin(path));
  WaitForFirstChunk();
  EXPECT_FALSE(read.Begin(dir.File("other.wav")));
  EXPECT_EQ(window.log.lines, (Lines{"Reading WAV File \"" + path + "\"", kWavBusy}));
  Release();
  ASSERT_TRUE(WaitForFinish());
  // The first read goes on to its result: 40 clicks, and three jumps in the data chunk's length
  // (0xD755) at the start of the period.
  ASSERT_EQ(state.history.size(), 1u);
  EXPECT_EQ(state.history.entries()[0], 43u);
  EXPECT_EQ(state.sampletime, 5u);
}

TEST_F(HeldWorkerTest, RunStartedDuringTheReadKeepsItsBuffer) {
  EarlierRun();
  ASSERT_TRUE(read.Begin(path));
  WaitForFirstChunk();
  capturing = true;
  Release();
  ASSERT_TRUE(WaitForFinish());
  EXPECT_EQ(window.log.lines, (Lines{"Reading WAV File \"" + path + "\"", kWavWhileCapturing}));
  ExpectEarlierRunKept();
}

TEST_F(WavFileReadTest, RefusedWhileALiveRunCaptures) {
  capturing = true;
  EXPECT_FALSE(read.Begin(dir.File("audio.wav")));
  EXPECT_EQ(window.log.lines, Lines{kWavWhileCapturing});
  EXPECT_FALSE(read.running());
}

}  // namespace
