// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "input/audio_input.h"

// The mean rate of `blipcount --demo`: about what a survey meter's tube counts from the natural
// background.
inline constexpr double kDemoCpm = 30.0;

// What the simulated meter plays.
struct MeterSettings {
  // Mean clicks per minute on each channel.
  double cpm = kDemoCpm;
  // With two channels: the part of each channel's clicks that both detectors see in the same
  // frame (a shower), the rest falling on one channel alone.
  double coincident_fraction = 0.25;
  uint64_t seed = 1;
};

// The sound of a survey meter's clicks, frame by frame: unsigned 8-bit samples around 128 with a
// little noise; each click rises in one sample by 114 to 124 and then decays exponentially
// (about three samples' time constant). The clicks come at random, exponentially spaced times
// with the chosen mean rate; like a Geiger tube the meter is dead for a few samples after each
// click, long enough for the click to have decayed, so every click it makes stands out by one
// jump above the default threshold and no other jump comes near it. Plain C++, any one thread.
class ClickSynth {
 public:
  ClickSynth(const MeterSettings& settings, uint32_t samples_per_second, unsigned channels);

  // Writes the next frames into `out` (a whole number of frames, interleaved) and returns the
  // clicks a detector counts in them: frames where the channel rises (one channel), or where
  // both rise (two channels). A rise on the first frame counts only when `after_previous` says
  // the frame before it ends the same buffer.
  uint32_t Render(std::span<uint8_t> out, bool after_previous);

  unsigned channels() const { return channels_; }

  // Frames a click keeps the channel dead for.
  static constexpr uint32_t kDeadFrames = 8;

 private:
  struct Channel {
    double level = 0.0;  // the sum of the clicks' decaying tails above silence
    uint64_t dead_until = 0;
  };
  // A random stream of click times, in frames.
  struct Arrivals {
    double rate_per_frame = 0.0;
    double next = 0.0;
  };

  double Uniform();
  void Schedule(Arrivals& arrivals);
  // Starts a click on the channel unless it is dead; true when it started.
  bool Click(Channel& channel);

  unsigned channels_;
  uint64_t random_;
  uint64_t frame_ = 0;
  Channel channel_[2];
  // Each channel's own clicks, and (two channels) the ones both share.
  Arrivals own_[2];
  Arrivals shared_;
};

// The time the simulated meter goes by. The meter plays frames as fast as this clock says time
// passes, so a test can run it faster than real time or step it by hand. Any thread.
class MeterClock {
 public:
  virtual ~MeterClock() = default;
  // Time since some fixed start; never goes back.
  virtual std::chrono::nanoseconds Now() const = 0;
};

// A line input with a survey meter on it, as a sound card delivers it: from Start the queued
// buffer fills at the sample rate (by the clock) and its completion comes when it is full, or
// at Stop with what it holds. A timer thread of the meter writes the samples that have fallen
// due (every 20 ms of real time, and at the moment the buffer fills) and calls the
// completions. While no buffer records, the thread sleeps without a time-out, so an idle meter
// takes no CPU; what would have played meanwhile is simply not played.
//
// Threads: the AudioInput functions are called on the owner thread; the completion is called on
// the meter's thread. The tally may be read from any thread.
class SimulatedMeter : public AudioInput {
 public:
  // `clock` null: real time. A clock given must outlive the meter.
  explicit SimulatedMeter(MeterSettings settings = {}, const MeterClock* clock = nullptr);
  ~SimulatedMeter() override;
  SimulatedMeter(const SimulatedMeter&) = delete;
  SimulatedMeter& operator=(const SimulatedMeter&) = delete;

  OpenResult Open(const CaptureFormat& format, Completion on_done) override;
  bool AddBuffer(std::span<std::byte> buffer) override;
  bool Start() override;
  void Stop() override;
  void Close() override;

  // For each buffer handed back so far (the latest kTallyLimit), in order, the clicks the meter
  // put into it that a detector counts.
  std::vector<uint32_t> BufferClicks() const;
  static constexpr size_t kTallyLimit = 100000;
  // How often the timer thread has woken so far.
  uint64_t wakeups() const { return wakeups_.load(std::memory_order_relaxed); }

  static constexpr std::chrono::milliseconds kTick{20};

 private:
  enum class State { kEmpty, kQueued, kRecording };

  void CloseMeter();  // Close, also from the destructor
  void Run();
  // Writes what has fallen due into the recording buffer; true when it is full.
  bool PlayDue();
  void HandBack();

  MeterSettings settings_;
  const MeterClock* clock_;
  std::unique_ptr<MeterClock> own_clock_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
  bool open_ = false;
  bool closing_ = false;
  Completion on_done_;
  std::unique_ptr<ClickSynth> synth_;
  uint32_t samples_per_second_ = 11025;

  State state_ = State::kEmpty;
  std::span<std::byte> buffer_;
  size_t filled_ = 0;    // bytes written into the buffer
  uint32_t clicks_ = 0;  // countable clicks among them
  std::chrono::nanoseconds started_{0};
  // Hand-backs waiting for the thread to call the completion: the bytes recorded.
  std::vector<size_t> handed_back_;
  std::deque<uint32_t> buffer_clicks_;
  std::atomic<uint64_t> wakeups_{0};
};
