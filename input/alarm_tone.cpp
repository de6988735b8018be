// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "input/alarm_tone.h"

#include <portaudio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>

#include "input/portaudio_input.h"

namespace {

struct Beep {
  double hertz;
  double seconds;
  double pause_after;
};

// Going on: two short high beeps; going off: one lower and longer.
constexpr Beep kOnBeeps[] = {{1500.0, 0.15, 0.10}, {1500.0, 0.15, 0.0}};
constexpr Beep kOffBeeps[] = {{750.0, 0.25, 0.0}};
constexpr double kFadeSeconds = 0.01;
constexpr double kLoudness = 0.5;  // of full scale

// What the stream's callbacks share with the player's thread.
struct ToneStream {
  const int16_t* samples = nullptr;
  size_t count = 0;
  size_t next = 0;  // the callback's own
  std::mutex* mutex = nullptr;
  std::condition_variable* done_signal = nullptr;
  bool done = false;  // under *mutex
};

// Called on PortAudio's audio thread: copies samples only.
int OnTone(const void* /*input*/, void* output, unsigned long frames,
           const PaStreamCallbackTimeInfo* /*time*/, PaStreamCallbackFlags /*flags*/, void* data) {
  auto* tone = static_cast<ToneStream*>(data);
  auto* out = static_cast<int16_t*>(output);
  const size_t taken = std::min<size_t>(frames, tone->count - tone->next);
  std::memcpy(out, tone->samples + tone->next, taken * sizeof(int16_t));
  std::fill(out + taken, out + frames, int16_t{0});
  tone->next += taken;
  return tone->next == tone->count ? paComplete : paContinue;
}

// Called once the stream has played out (or been aborted).
void OnToneFinished(void* data) {
  auto* tone = static_cast<ToneStream*>(data);
  std::lock_guard lock(*tone->mutex);
  tone->done = true;
  tone->done_signal->notify_all();
}

}  // namespace

std::vector<int16_t> AlarmToneSamples(bool on, double sample_rate) {
  std::vector<int16_t> samples;
  const auto append = [&](const Beep& beep) {
    const size_t length = static_cast<size_t>(beep.seconds * sample_rate);
    const double fade = kFadeSeconds * sample_rate;
    for (size_t i = 0; i < length; ++i) {
      // A raised-cosine edge at both ends of the beep.
      const double edge = std::min({1.0, i / fade, (length - 1 - i) / fade});
      const double envelope = 0.5 - 0.5 * std::cos(std::numbers::pi * edge);
      const double wave = std::sin(2.0 * std::numbers::pi * beep.hertz * i / sample_rate);
      samples.push_back(static_cast<int16_t>(std::lround(kLoudness * 32767.0 * envelope * wave)));
    }
    samples.insert(samples.end(), static_cast<size_t>(beep.pause_after * sample_rate), 0);
  };
  if (on) {
    for (const Beep& beep : kOnBeeps) append(beep);
  } else {
    for (const Beep& beep : kOffBeeps) append(beep);
  }
  return samples;
}

AlarmTonePlayer::~AlarmTonePlayer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    waiting_.clear();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void AlarmTonePlayer::Play(bool on) {
  // An alarm that flips every period queues no more than a few tones.
  constexpr size_t kMaxWaiting = 4;
  std::lock_guard lock(mutex_);
  if (stopping_ || waiting_.size() >= kMaxWaiting) return;
  waiting_.push_back(on);
  if (!thread_.joinable()) thread_ = std::thread(&AlarmTonePlayer::Run, this);
  wake_.notify_all();
}

bool AlarmTonePlayer::WaitUntilIdle(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return idle_.wait_for(lock, limit, [this] { return waiting_.empty() && !busy_; });
}

int AlarmTonePlayer::played() const {
  std::lock_guard lock(mutex_);
  return played_;
}

void AlarmTonePlayer::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
    if (stopping_) break;
    const bool on = waiting_.front();
    waiting_.pop_front();
    busy_ = true;
    lock.unlock();
    const bool played = PlayOne(on);
    lock.lock();
    if (played) ++played_;
    busy_ = false;
    idle_.notify_all();
  }
  busy_ = false;
  idle_.notify_all();
}

bool AlarmTonePlayer::PlayOne(bool on) {
  std::vector<int16_t> samples;
  ToneStream tone{nullptr, 0, 0, &mutex_, &wake_, false};
  double rate = kToneSampleRate;
  std::unique_ptr<PortAudioSession> session;
  std::unique_ptr<PortAudioStream> stream;
  {
    std::lock_guard library(PortAudioLock());
    // The line input's session is open whenever an alarm changes, so this one only counts up
    // and probes nothing.
    session = std::make_unique<PortAudioSession>(PortAudioSession::Chatter::kAsIs);
    if (!session->ok()) return false;
    const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
    if (device == paNoDevice) return false;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    PaStreamParameters output{};
    output.device = device;
    output.channelCount = 1;
    output.sampleFormat = paInt16;
    output.suggestedLatency = info != nullptr ? info->defaultHighOutputLatency : 0.1;
    PaStream* raw = nullptr;
    PaError error;
    // A device that cannot take the tones' own rate gets them made at its own.
    if (info != nullptr && Pa_IsFormatSupported(nullptr, &output, rate) != paFormatIsSupported) {
      rate = info->defaultSampleRate;
    }
    samples = AlarmToneSamples(on, rate);
    tone.samples = samples.data();
    tone.count = samples.size();
    error = Pa_OpenStream(&raw, nullptr, &output, rate, paFramesPerBufferUnspecified, paNoFlag,
                          &OnTone, &tone);
    if (error != paNoError) return false;
    stream = std::make_unique<PortAudioStream>(raw);
    if (Pa_SetStreamFinishedCallback(raw, &OnToneFinished) != paNoError) return false;
    if (Pa_StartStream(raw) != paNoError) return false;
  }
  {
    // The tone's own length and a little more: a device that stops taking samples does not keep
    // the player's thread for ever.
    const auto limit = std::chrono::milliseconds(
        static_cast<int64_t>(static_cast<double>(samples.size()) * 1000 / rate) + 2000);
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, limit, [&] { return tone.done || stopping_; });
  }
  std::lock_guard library(PortAudioLock());
  stream.reset();  // stopped and closed before the samples it reads go
  session.reset();
  return true;
}
