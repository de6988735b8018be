// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "input/simulated_meter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

constexpr double kSilence = 128.0;
// The click's tail falls to 1/e in this many samples.
constexpr double kDecaySamples = 3.0;
constexpr double kLowestClick = 114.0;
constexpr double kClickSpread = 10.0;
// The noise is a whole number of steps in -kNoise..kNoise.
constexpr int kNoise = 2;

class SteadyMeterClock : public MeterClock {
 public:
  std::chrono::nanoseconds Now() const override {
    return std::chrono::steady_clock::now().time_since_epoch();
  }
};

uint8_t ToSample(double value) {
  return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

}  // namespace

ClickSynth::ClickSynth(const MeterSettings& settings, uint32_t samples_per_second,
                       unsigned channels)
    : channels_(channels == 2 ? 2 : 1), random_(settings.seed * 0x9E3779B97F4A7C15ull + 1) {
  const double per_frame = std::max(settings.cpm, 0.0) / 60.0 / std::max(samples_per_second, 1u);
  const double shared = channels_ == 2 ? std::clamp(settings.coincident_fraction, 0.0, 1.0) : 0.0;
  for (Arrivals& own : own_) {
    own.rate_per_frame = per_frame * (1.0 - shared);
    Schedule(own);
  }
  shared_.rate_per_frame = per_frame * shared;
  Schedule(shared_);
}

double ClickSynth::Uniform() {
  // xorshift64*: small, fast, and the same sequence on every platform.
  random_ ^= random_ >> 12;
  random_ ^= random_ << 25;
  random_ ^= random_ >> 27;
  return static_cast<double>((random_ * 0x2545F4914F6CDD1Dull) >> 11) * 0x1.0p-53;
}

void ClickSynth::Schedule(Arrivals& arrivals) {
  if (arrivals.rate_per_frame <= 0.0) {
    arrivals.next = std::numeric_limits<double>::infinity();
    return;
  }
  // Exponential spacing: the clicks of a Poisson process.
  arrivals.next += -std::log1p(-Uniform()) / arrivals.rate_per_frame;
}

bool ClickSynth::Click(Channel& channel) {
  if (frame_ < channel.dead_until) return false;
  channel.level += kLowestClick + kClickSpread * Uniform();
  channel.dead_until = frame_ + kDeadFrames;
  return true;
}

uint32_t ClickSynth::Render(std::span<uint8_t> out, bool after_previous) {
  static const double kDecay = std::exp(-1.0 / kDecaySamples);
  uint32_t counted = 0;
  const unsigned channels = std::min(channels_, 2u);
  const size_t frames = out.size() / channels;
  for (size_t i = 0; i < frames; ++i, ++frame_) {
    bool rose[2] = {false, false};
    for (unsigned c = 0; c < channels; ++c) {
      channel_[c].level *= kDecay;
      while (own_[c].next <= static_cast<double>(frame_)) {
        rose[c] = Click(channel_[c]) || rose[c];
        Schedule(own_[c]);
      }
    }
    while (shared_.next <= static_cast<double>(frame_)) {
      for (unsigned c = 0; c < channels; ++c) rose[c] = Click(channel_[c]) || rose[c];
      Schedule(shared_);
    }
    const bool counts = channels == 2 ? rose[0] && rose[1] : rose[0];
    if (counts && (i > 0 || after_previous)) ++counted;
    for (unsigned c = 0; c < channels; ++c) {
      const int noise = static_cast<int>(Uniform() * (2 * kNoise + 1)) - kNoise;
      out[i * channels + c] = ToSample(kSilence + channel_[c].level + noise);
    }
  }
  return counted;
}

SimulatedMeter::SimulatedMeter(MeterSettings settings, const MeterClock* clock)
    : settings_(settings), clock_(clock) {
  if (clock_ == nullptr) {
    own_clock_ = std::make_unique<SteadyMeterClock>();
    clock_ = own_clock_.get();
  }
}

SimulatedMeter::~SimulatedMeter() { CloseMeter(); }

OpenResult SimulatedMeter::Open(const CaptureFormat& format, Completion on_done) {
  if (thread_.joinable()) return {false, "Device already open"};
  if (format.format_tag != 1 || format.bits_per_sample != 8 ||
      (format.channels != 1 && format.channels != 2) || format.samples_per_second == 0) {
    return {false, "Sample format not supported"};
  }
  {
    std::lock_guard lock(mutex_);
    open_ = true;
    closing_ = false;
    on_done_ = std::move(on_done);
    samples_per_second_ = format.samples_per_second;
    synth_ = std::make_unique<ClickSynth>(settings_, samples_per_second_, format.channels);
    state_ = State::kEmpty;
  }
  thread_ = std::thread(&SimulatedMeter::Run, this);
  return {true, {}};
}

bool SimulatedMeter::AddBuffer(std::span<std::byte> buffer) {
  std::lock_guard lock(mutex_);
  if (!open_ || state_ != State::kEmpty || !handed_back_.empty()) return false;
  buffer_ = buffer.first(buffer.size() - buffer.size() % synth_->channels());
  filled_ = 0;
  clicks_ = 0;
  state_ = State::kQueued;
  return true;
}

bool SimulatedMeter::Start() {
  {
    std::lock_guard lock(mutex_);
    if (!open_ || state_ == State::kEmpty) return false;
    if (state_ == State::kRecording) return true;
    state_ = State::kRecording;
    started_ = clock_->Now();
  }
  wake_.notify_all();
  return true;
}

void SimulatedMeter::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (state_ == State::kEmpty) return;
    HandBack();
  }
  wake_.notify_all();
}

void SimulatedMeter::Close() { CloseMeter(); }

void SimulatedMeter::CloseMeter() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::kEmpty) HandBack();
    closing_ = true;
  }
  wake_.notify_all();
  // The thread calls the completion of a buffer handed back before it ends.
  thread_.join();
  std::lock_guard lock(mutex_);
  open_ = false;
  on_done_ = nullptr;
}

std::vector<uint32_t> SimulatedMeter::BufferClicks() const {
  std::lock_guard lock(mutex_);
  return {buffer_clicks_.begin(), buffer_clicks_.end()};
}

void SimulatedMeter::HandBack() {
  handed_back_.push_back(filled_);
  // A meter left running for months keeps only the latest part of its tally.
  if (buffer_clicks_.size() == kTallyLimit) buffer_clicks_.pop_front();
  buffer_clicks_.push_back(clicks_);
  state_ = State::kEmpty;
  buffer_ = {};
}

bool SimulatedMeter::PlayDue() {
  const unsigned channels = synth_->channels();
  const size_t frames = buffer_.size() / channels;
  const size_t done = filled_ / channels;
  const double elapsed = std::chrono::duration<double>(clock_->Now() - started_).count();
  const auto due = static_cast<size_t>(std::max(elapsed, 0.0) * samples_per_second_);
  const size_t play = std::min(due, frames) - std::min(done, std::min(due, frames));
  if (play > 0) {
    std::span<uint8_t> out(reinterpret_cast<uint8_t*>(buffer_.data()) + filled_, play * channels);
    clicks_ += synth_->Render(out, done > 0);
    filled_ += play * channels;
  }
  return filled_ == buffer_.size();
}

void SimulatedMeter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wakeups_.fetch_add(1, std::memory_order_relaxed);
    if (state_ == State::kRecording && PlayDue()) HandBack();
    // Completions go out without the lock, in the order of the hand-backs.
    while (!handed_back_.empty()) {
      const size_t bytes = handed_back_.front();
      handed_back_.erase(handed_back_.begin());
      // `on_done_` changes only while this thread does not run (Open, and Close after the join).
      lock.unlock();
      if (on_done_) on_done_(bytes);
      lock.lock();
    }
    if (closing_) return;
    if (state_ != State::kRecording) {
      wake_.wait(lock);
      continue;
    }
    // The next tick, or the moment the buffer fills when that comes first (in real time).
    const size_t left = (buffer_.size() - filled_) / synth_->channels();
    const auto until_full = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::duration<double>(static_cast<double>(left) / samples_per_second_));
    const auto wait = std::min<std::chrono::nanoseconds>(kTick, until_full);
    wake_.wait_for(lock, std::max(wait, std::chrono::nanoseconds(std::chrono::microseconds(200))));
  }
}
