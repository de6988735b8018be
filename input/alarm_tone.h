// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// The rate the tones are made for and asked of the output device.
inline constexpr double kToneSampleRate = 44100.0;

// The alarm's tones as 16-bit mono samples at `sample_rate`: going on, two short high beeps;
// going off, one lower beep. Each beep fades in and out, so the speaker does not click.
std::vector<int16_t> AlarmToneSamples(bool on, double sample_rate = kToneSampleRate);

// Plays the alarm's tones on the default audio output through PortAudio. Play returns at once:
// a thread of the player's own opens the device, plays and closes it again, so neither a slow
// audio system nor a missing one holds up the caller. Where there is no output device, or it
// cannot be opened, the tone is left out without a word. Play and the destructor are called on
// the owner thread.
class AlarmTonePlayer {
 public:
  AlarmTonePlayer() = default;
  // A tone still playing is cut short; tones still waiting are dropped.
  ~AlarmTonePlayer();
  AlarmTonePlayer(const AlarmTonePlayer&) = delete;
  AlarmTonePlayer& operator=(const AlarmTonePlayer&) = delete;

  // Plays the tone of the alarm going on or off, after any tone still playing.
  void Play(bool on);

  // Waits up to `limit` until every tone asked for has been played or left out; true if so.
  bool WaitUntilIdle(std::chrono::milliseconds limit);

  // How many tones reached the output device so far (for tests and diagnostics).
  int played() const;

 private:
  void Run();
  // Plays one tone; false when no output device took it.
  bool PlayOne(bool on);

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<bool> waiting_;
  bool busy_ = false;
  bool stopping_ = false;
  int played_ = 0;
  std::thread thread_;  // started by the first Play
};
