// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "capture_rig.h"
#include "click_signal.h"

namespace {

// The real PortAudio device over ALSA, whose default capture device is the file plugin
// reading a raw file of known clicks. The file plugin delivers as fast as it is read, and what
// arrives while the owner processes a period is dropped, so the file holds far more than the
// run records.
struct EndToEndCase {
  const char* name;
  bool coincidence;
  uint32_t clicks_per_second;
};

void PrintTo(const EndToEndCase& c, std::ostream* os) { *os << c.name; }

class CaptureEndToEnd : public ::testing::TestWithParam<EndToEndCase> {};

TEST_P(CaptureEndToEnd, CountsTheClicksOfEveryPeriod) {
  const EndToEndCase& c = GetParam();
  // Between periods the owner's latency lets the plugin run through up to a few hundred
  // thousand frames; past the file's end ALSA hands out stale frames, which would count wrong.
  constexpr uint32_t kFileSeconds = 2000;
  constexpr uint32_t kPeriods = 6;
  TempDir dir;
  const std::vector<uint8_t> second = c.coincidence ? CoincidentClicks(11025, c.clicks_per_second)
                                                    : MonoClicks(11025, c.clicks_per_second);
  const std::string config = WriteFileCaptureConfig(dir.path(), second, kFileSeconds);
  ASSERT_EQ(setenv("ALSA_CONFIG_PATH", config.c_str(), 1), 0);

  RealCaptureRig rig;
  rig.state.coincidence = c.coincidence ? 1 : 0;
  rig.fields.values.repeat = kPeriods;
  rig.controller->OnStart();
  ASSERT_GE(rig.window.log.lines.size(), 2u);
  ASSERT_EQ(rig.window.log.lines[1], "Opened Audio Input.");
  ASSERT_TRUE(rig.controller->capturing());
  ASSERT_TRUE(rig.RunUntilDone(std::chrono::seconds(60)));

  ASSERT_EQ(rig.state.iteration, kPeriods);
  for (uint32_t i = 0; i < kPeriods; ++i) {
    const uint32_t counts = rig.state.history.entries()[i];
    // One fewer only when a click falls on the period's first frame.
    EXPECT_TRUE(counts == c.clicks_per_second || counts == c.clicks_per_second - 1)
        << "period " << i + 1 << " counted " << counts;
  }
  EXPECT_EQ(rig.state.sample_buffer.size(), 11025u * (c.coincidence ? 2 : 1));
  rig.controller->StopAndClose();
  EXPECT_FALSE(rig.controller->device_open());
}

INSTANTIATE_TEST_SUITE_P(FilePlugin, CaptureEndToEnd,
                         ::testing::Values(EndToEndCase{"mono", false, 9},
                                           EndToEndCase{"coincidence", true, 5}),
                         [](const auto& info) { return std::string(info.param.name); });

// Cancel lands wherever the audio thread happens to be, while a reader thread takes the shared
// fields the way the status server does. Every run ends, and no period is counted wrong.
TEST(CaptureRealThreads, CancelAndRestartRaceTheAudioThread) {
  constexpr uint32_t kClicks = 9;
  TempDir dir;
  const std::string config = WriteFileCaptureConfig(dir.path(), MonoClicks(11025, kClicks), 4000);
  ASSERT_EQ(setenv("ALSA_CONFIG_PATH", config.c_str(), 1), 0);

  RealCaptureRig rig;
  rig.fields.values.repeat = 1000;
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop.load()) {
      std::lock_guard lock(rig.state.shared_mutex);
      uint64_t sum = 0;
      for (uint32_t counts : rig.state.history.First(rig.state.iteration)) sum += counts;
      EXPECT_LE(sum, uint64_t{kClicks} * rig.state.iteration);
    }
  });

  for (int run = 0; run < 5; ++run) {
    SCOPED_TRACE(run);
    rig.controller->OnStart();
    ASSERT_TRUE(rig.controller->capturing());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (rig.state.iteration < 2 && std::chrono::steady_clock::now() < end) {
      rig.owner.WaitAndRun(std::chrono::milliseconds(10));
    }
    // Some time into the third period (or between two).
    std::this_thread::sleep_for(std::chrono::microseconds(100 * run));
    rig.controller->OnCancelSampling();
    ASSERT_TRUE(rig.RunUntilDone(std::chrono::seconds(30)));
    EXPECT_FALSE(rig.controller->capturing());
    const uint32_t periods = rig.state.iteration;
    ASSERT_GE(periods, 3u);
    for (uint32_t i = 0; i + 1 < periods; ++i) {
      const uint32_t counts = rig.state.history.entries()[i];
      EXPECT_TRUE(counts == kClicks || counts == kClicks - 1) << i << ": " << counts;
    }
    // The period Cancel cut short holds what was recorded and nothing twice.
    EXPECT_LE(rig.state.history.entries()[periods - 1], kClicks);
  }
  stop.store(true);
  reader.join();
  rig.controller->StopAndClose();
}

// Cancel and Start at once: the real device hands the stopped buffer back on its own thread,
// and the new run starts only after the cancelled one has reported its period and ended.
TEST(CaptureRealThreads, StartRightAfterCancelEndsTheCancelledRunFirst) {
  TempDir dir;
  const std::string config = WriteFileCaptureConfig(dir.path(), MonoClicks(11025, 9), 4000);
  ASSERT_EQ(setenv("ALSA_CONFIG_PATH", config.c_str(), 1), 0);

  RealCaptureRig rig;
  rig.fields.values.repeat = 100;
  rig.controller->OnStart();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (rig.state.iteration < 1 && std::chrono::steady_clock::now() < end) {
    rig.owner.WaitAndRun(std::chrono::milliseconds(10));
  }
  const size_t before = rig.window.log.lines.size();
  rig.controller->OnCancelSampling();
  rig.controller->OnStart();
  const std::vector<std::string> log(rig.window.log.lines.begin() + before,
                                     rig.window.log.lines.end());
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[0], "Cancelled.");
  EXPECT_NE(log[1].find("Counts="), std::string::npos) << log[1];
  EXPECT_EQ(log[3], "Done counting.");
  EXPECT_EQ(log[5], "Starting recording.");
  EXPECT_TRUE(rig.controller->capturing());
  rig.controller->StopAndClose();
}

// Between runs the stream stops while the device stays open, so an idle program takes no
// samples (the file plugin, which is not paced, would otherwise be read flat out); the next
// Start starts it again and counts as before.
TEST(CaptureIdle, StreamStopsBetweenRunsAndStartsAgain) {
  constexpr uint32_t kClicks = 9;
  TempDir dir;
  const std::string config = WriteFileCaptureConfig(dir.path(), MonoClicks(11025, kClicks), 2000);
  ASSERT_EQ(setenv("ALSA_CONFIG_PATH", config.c_str(), 1), 0);

  // The file plugin is not paced: while the stream runs idle it reads thousands of seconds of
  // the file a second, so here the stream stops sooner than the program's second.
  PortAudioInput* device = nullptr;
  RealCaptureRig rig([&device] {
    auto made = std::make_unique<PortAudioInput>(std::chrono::milliseconds(50));
    device = made.get();
    return made;
  });
  rig.fields.values.repeat = 2;
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    rig.controller->OnStart();
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(device->stream_active());
    ASSERT_TRUE(rig.RunUntilDone(std::chrono::seconds(30)));
    for (uint32_t counts : rig.state.history.First(2)) {
      EXPECT_TRUE(counts == kClicks || counts == kClicks - 1) << counts;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (device->stream_active() && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_FALSE(device->stream_active());
    EXPECT_TRUE(rig.controller->device_open());
  }
  rig.controller->StopAndClose();
}

// Opening and closing the device prints nothing of the host APIs' probing (JACK's "cannot
// connect to server", ALSA's unknown PCMs) on stderr, and stderr works again afterwards.
TEST(CaptureQuiet, OpenAndCloseKeepStderrClean) {
  TempDir dir;
  const std::string config = WriteFileCaptureConfig(dir.path(), MonoClicks(11025, 3), 100);
  ASSERT_EQ(setenv("ALSA_CONFIG_PATH", config.c_str(), 1), 0);
  const std::string captured = dir.path() + "/stderr.txt";
  const int saved = dup(STDERR_FILENO);
  const int file = open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(saved, 0);
  ASSERT_GE(file, 0);
  dup2(file, STDERR_FILENO);
  {
    RealCaptureRig rig;
    rig.fields.values.repeat = 1;
    rig.controller->OnStart();
    rig.RunUntilDone(std::chrono::seconds(30));
    rig.controller->StopAndClose();
  }
  fputs("after\n", stderr);
  fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  close(file);
  std::ifstream in(captured);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "after\n");
}

// A configuration without a usable default device: Start logs the error and the program goes
// on. PortAudio itself aborts the process in its device probing for the first three.
struct NoDeviceCase {
  const char* name;
  const char* config;  // nullptr: the configuration file does not exist
  const char* error;
};

void PrintTo(const NoDeviceCase& c, std::ostream* os) { *os << c.name; }

class CaptureNoDevice : public ::testing::TestWithParam<NoDeviceCase> {};

TEST_P(CaptureNoDevice, StartLogsTheErrorAndStops) {
  const NoDeviceCase& c = GetParam();
  TempDir dir;
  const std::string config = dir.path() + "/asound.conf";
  if (c.config != nullptr) std::ofstream(config) << c.config;
  ASSERT_EQ(setenv("ALSA_CONFIG_PATH", config.c_str(), 1), 0);

  RealCaptureRig rig;
  rig.controller->OnStart();
  EXPECT_EQ(rig.window.log.lines,
            (std::vector<std::string>{"Audio sampling rate = 11025 per second",
                                      std::string("Error: ") + c.error, "Audio input not open."}));
  EXPECT_FALSE(rig.controller->device_open());
  EXPECT_TRUE(rig.window.start.IsEnabled());
  // A second Start tries again, the same way.
  rig.controller->OnStart();
  EXPECT_EQ(rig.window.log.lines.size(), 6u);
}

INSTANTIATE_TEST_SUITE_P(
    Alsa, CaptureNoDevice,
    ::testing::Values(
        NoDeviceCase{"empty_configuration", "", kNoDefaultPcm},
        NoDeviceCase{"missing_configuration", nullptr, kNoDefaultPcm},
        NoDeviceCase{"only_other_pcms", "pcm.other {\n  type null\n}\n", kNoDefaultPcm},
        // The only device is a sound card that does not exist.
        NoDeviceCase{"default_on_a_missing_card", "pcm.!default {\n  type hw\n  card 99\n}\n",
                     "Device unavailable"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
