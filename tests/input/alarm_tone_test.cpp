// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "input/alarm_tone.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "capture_rig.h"
#include "click_signal.h"
#include "support/temp_dir.h"

namespace {

// Sign changes among the first `length` samples: twice the cycles of a pure tone.
int SignChanges(const std::vector<int16_t>& samples, size_t length) {
  int changes = 0;
  int previous = 0;
  for (size_t i = 0; i < std::min(length, samples.size()); ++i) {
    const int sign = samples[i] > 0 ? 1 : samples[i] < 0 ? -1 : 0;
    if (sign != 0 && previous != 0 && sign != previous) ++changes;
    if (sign != 0) previous = sign;
  }
  return changes;
}

TEST(AlarmToneSamples, TwoHighBeepsOnOneLowBeepOff) {
  const struct {
    bool on;
    size_t length;      // samples at 44100 per second
    size_t first_beep;  // samples
    int changes;        // in the first beep: 2 x hertz x seconds, less the faded ends
  } cases[] = {{true, 17640, 6615, 450}, {false, 11025, 11025, 375}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.on ? "on" : "off");
    const std::vector<int16_t> samples = AlarmToneSamples(c.on);
    ASSERT_EQ(samples.size(), c.length);
    EXPECT_NEAR(SignChanges(samples, c.first_beep), c.changes, 3);
    // Faded in and out: no click at either end, and half of full scale in the middle.
    EXPECT_EQ(samples.front(), 0);
    EXPECT_EQ(samples[c.first_beep - 1], 0);
    const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
    EXPECT_NEAR(*high, 16384, 100);
    EXPECT_NEAR(*low, -16384, 100);
  }
  // Two beeps with a silent gap between them.
  const std::vector<int16_t> on = AlarmToneSamples(true);
  EXPECT_TRUE(std::all_of(on.begin() + 6615, on.begin() + 11025, [](int16_t s) { return s == 0; }));
  EXPECT_GT(SignChanges({on.begin() + 11025, on.end()}, 6615), 440);
}

std::string WriteConfig(const std::string& dir, const std::string& pcm) {
  const std::string config = dir + "/asound.conf";
  std::ofstream out(config, std::ios::trunc);
  out << "</usr/share/alsa/alsa.conf>\n" << pcm;
  return config;
}

std::vector<int16_t> ReadSamples(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

// Through PortAudio and ALSA, whose default playback device is the file plugin: the file holds
// exactly the tone's samples, after whatever silence the device started with.
TEST(AlarmTonePlayer, PlaysTheToneOnTheDefaultOutput) {
  TempDir dir;
  const std::string played = dir.path() + "/played.raw";
  const std::string config = WriteConfig(dir.path(),
                                         "pcm.!default {\n"
                                         "  type file\n"
                                         "  slave.pcm \"null\"\n"
                                         "  file \"" +
                                             played +
                                             "\"\n"
                                             "  format \"raw\"\n"
                                             "}\n");
  ASSERT_EQ(setenv("ALSA_CONFIG_PATH", config.c_str(), 1), 0);
  {
    AlarmTonePlayer player;
    player.Play(true);
    ASSERT_TRUE(player.WaitUntilIdle(std::chrono::seconds(20)));
    EXPECT_EQ(player.played(), 1);
  }
  const std::vector<int16_t> samples = ReadSamples(played);
  const std::vector<int16_t> tone = AlarmToneSamples(true);
  const auto sound = [](int16_t s) { return s != 0; };
  const auto first = std::find_if(samples.begin(), samples.end(), sound);
  ASSERT_NE(first, samples.end()) << samples.size() << " samples, all silent";
  const auto tone_first = std::find_if(tone.begin(), tone.end(), sound);
  ASSERT_GE(samples.end() - first, tone.end() - tone_first);
  EXPECT_TRUE(std::equal(tone_first, tone.end(), first));
}

// No device behind the default output: the tone is left out, the player goes on and ends.
TEST(AlarmTonePlayer, WithoutAnOutputDeviceGoesOnSilently) {
  TempDir dir;
  const std::string config = WriteConfig(dir.path(),
                                         "pcm.!default {\n  type hw\n  card 97\n}\nctl.!default {\n"
                                         "  type hw\n  card 97\n}\n");
  ASSERT_EQ(setenv("ALSA_CONFIG_PATH", config.c_str(), 1), 0);
  AlarmTonePlayer player;
  player.Play(true);
  player.Play(false);
  ASSERT_TRUE(player.WaitUntilIdle(std::chrono::seconds(20)));
  EXPECT_EQ(player.played(), 0);
  player.Play(true);  // and it still takes tones afterwards
  EXPECT_TRUE(player.WaitUntilIdle(std::chrono::seconds(20)));
}

// The line input and the tones share one ALSA device here, the file plugin, and one PortAudio
// library: a tone played while a run records leaves the run counting, during the tone and
// after it.
TEST(AlarmTonePlayer, ATonePlayedDuringARunLeavesTheRunCounting) {
  constexpr uint32_t kClicks = 9;
  TempDir dir;
  const std::string config = WriteFileCaptureConfig(dir.path(), MonoClicks(11025, kClicks), 4000);
  ASSERT_EQ(setenv("ALSA_CONFIG_PATH", config.c_str(), 1), 0);
  RealCaptureRig rig;
  rig.fields.values.repeat = 100000;
  rig.controller->OnStart();
  ASSERT_TRUE(rig.controller->capturing());
  const auto run_until = [&](auto done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done() && std::chrono::steady_clock::now() < end) {
      rig.owner.WaitAndRun(std::chrono::milliseconds(20));
    }
    return done();
  };
  ASSERT_TRUE(run_until([&] { return rig.state.iteration >= 1; }));
  AlarmTonePlayer player;
  player.Play(true);  // and the owner goes on at once, as the window does
  ASSERT_TRUE(run_until([&] { return player.WaitUntilIdle(std::chrono::milliseconds(0)); }));
  EXPECT_EQ(player.played(), 1);
  const uint32_t after_tone = rig.state.iteration;
  ASSERT_TRUE(run_until([&] { return rig.state.iteration >= after_tone + 3; }))
      << "the run stopped at period " << rig.state.iteration;
  for (uint32_t i = 0; i < after_tone + 3; ++i) {
    const uint32_t counts = rig.state.history.entries()[i];
    ASSERT_TRUE(counts == kClicks || counts == kClicks - 1) << "period " << i + 1;
  }
  rig.controller->StopAndClose();
}

// Other threads go on writing to standard error while a tone starts (the window's log, when it
// is watched from outside): the player never puts the process's stderr aside.
TEST(AlarmTonePlayer, LeavesStandardErrorToTheRestOfTheProgram) {
  TempDir dir;
  const std::string config = WriteFileCaptureConfig(dir.path(), MonoClicks(11025, 9), 10);
  ASSERT_EQ(setenv("ALSA_CONFIG_PATH", config.c_str(), 1), 0);
  const std::filesystem::path stderr_link = "/proc/self/fd/2";
  const std::filesystem::path target = std::filesystem::read_symlink(stderr_link);
  AlarmTonePlayer player;
  player.Play(true);
  int moved = 0;
  while (!player.WaitUntilIdle(std::chrono::milliseconds(0))) {
    if (std::filesystem::read_symlink(stderr_link) != target) ++moved;
  }
  EXPECT_EQ(moved, 0) << "stderr was elsewhere in " << moved << " looks";
  EXPECT_EQ(player.played(), 1);
}

}  // namespace
