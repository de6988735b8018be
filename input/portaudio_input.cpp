// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "input/portaudio_input.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// Keeps what the host APIs print while they probe their devices (JACK's "cannot connect",
// ALSA's unknown PCMs) off the user's terminal, and puts stderr back afterwards. Our own
// output never goes to stderr while it is held.
class QuietStderr {
 public:
  explicit QuietStderr(bool quiet = true) {
    if (!quiet) return;
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null_fd >= 0) dup2(null_fd, STDERR_FILENO);
    if (null_fd >= 0) close(null_fd);
  }
  ~QuietStderr() {
    std::fflush(stderr);
    if (saved_ >= 0) {
      dup2(saved_, STDERR_FILENO);
      close(saved_);
    }
  }
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int saved_ = -1;
};

// PortAudio's ALSA host API lists the sound cards' devices and the PCMs that the configuration
// defines, and asserts (aborting the process) when none of them is named "default" or "dmix",
// which is the case for an empty or missing configuration or one that only defines other PCMs.
// Such a configuration has no default device for us to open either, so it is refused before
// PortAudio probes it.
bool AlsaDefinesDefaultPcm() {
  QuietStderr quiet;  // a missing configuration file is reported on stderr
  if (snd_config_update() < 0 || snd_config == nullptr) return false;
  snd_config_t* node = nullptr;
  return snd_config_search(snd_config, "pcm.default", &node) == 0 ||
         snd_config_search(snd_config, "pcm.dmix", &node) == 0;
}

}  // namespace

std::recursive_mutex& PortAudioLock() {
  static std::recursive_mutex lock;
  return lock;
}

PortAudioSession::PortAudioSession(Chatter chatter) : chatter_(chatter) {
  std::lock_guard lock(PortAudioLock());
  QuietStderr quiet(chatter_ == Chatter::kQuiet);
  error_ = Pa_Initialize();
}

PortAudioSession::~PortAudioSession() {
  if (error_ == paNoError) {
    std::lock_guard lock(PortAudioLock());
    QuietStderr quiet(chatter_ == Chatter::kQuiet);
    Pa_Terminate();
  }
}

PortAudioStream::~PortAudioStream() {
  if (stream_ == nullptr) return;
  std::lock_guard lock(PortAudioLock());
  // The result is ignored: the stream goes away either way.
  Pa_AbortStream(stream_);
  Pa_CloseStream(stream_);
}

PortAudioInput::~PortAudioInput() { Close(); }

OpenResult PortAudioInput::Open(const CaptureFormat& format, Completion on_done) {
  if (stream_) return {false, "Device already open"};
  if (format.format_tag != 1 || format.bits_per_sample != 8 ||
      (format.channels != 1 && format.channels != 2)) {
    return {false, Pa_GetErrorText(paSampleFormatNotSupported)};
  }
  std::lock_guard lock(PortAudioLock());
  if (!AlsaDefinesDefaultPcm()) return {false, kNoDefaultPcm};
  auto session = std::make_unique<PortAudioSession>();
  if (!session->ok()) return {false, Pa_GetErrorText(session->error())};

  const PaDeviceIndex device = Pa_GetDefaultInputDevice();
  if (device == paNoDevice) return {false, Pa_GetErrorText(paDeviceUnavailable)};
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);

  PaStreamParameters input{};
  input.device = device;
  input.channelCount = format.channels;
  input.sampleFormat = paUInt8;
  // Periods last seconds, so latency does not matter; larger device periods mean fewer wakes.
  input.suggestedLatency = info != nullptr ? info->defaultHighInputLatency : 0.1;
  input.hostApiSpecificStreamInfo = nullptr;

  channels_ = format.channels;
  on_done_ = std::move(on_done);
  state_.store(kEmpty);
  closing_.store(false);

  PaStream* raw = nullptr;
  PaError error;
  {
    QuietStderr quiet;
    error = Pa_OpenStream(&raw, &input, nullptr, format.samples_per_second,
                          paFramesPerBufferUnspecified, paNoFlag, &PortAudioInput::OnAudio, this);
  }
  if (error != paNoError) return {false, Pa_GetErrorText(error)};
  session_ = std::move(session);
  stream_ = std::make_unique<PortAudioStream>(raw);
  stream_active_.store(false);
  notifier_ = std::thread(&PortAudioInput::NotifyLoop, this);
  return {true, {}};
}

bool PortAudioInput::AddBuffer(std::span<std::byte> buffer) {
  if (!stream_) return false;
  // A buffer just handed back is free once its completion has gone out, which the notification
  // thread does at once.
  state_.wait(kHandedBack, std::memory_order_acquire);
  if (state_.load(std::memory_order_acquire) != kEmpty) return false;
  buffer_ = buffer.data();
  buffer_size_ = buffer.size() - buffer.size() % channels_;
  filled_ = 0;
  state_.store(kQueued, std::memory_order_release);
  return true;
}

bool PortAudioInput::Start() {
  if (!stream_) return false;
  std::lock_guard lock(stream_mutex_);
  int expected = kQueued;
  if (!state_.compare_exchange_strong(expected, kRecording, std::memory_order_acq_rel)) {
    return expected == kRecording || expected == kCopying;
  }
  if (!stream_active_.load(std::memory_order_relaxed)) {
    const PaError error = Pa_StartStream(stream_->get());
    if (error != paNoError) {
      // The buffer stays queued, not recording, as after any failed start.
      state_.store(kQueued, std::memory_order_release);
      return false;
    }
    stream_active_.store(true, std::memory_order_release);
  }
  return true;
}

void PortAudioInput::Stop() {
  for (;;) {
    int current = state_.load(std::memory_order_acquire);
    if (current == kQueued || current == kRecording) {
      if (state_.compare_exchange_weak(current, kHandedBack, std::memory_order_acq_rel)) {
        wake_.release();
        return;
      }
    } else if (current == kCopying) {
      // The audio thread is in the middle of one device period's copy.
      std::this_thread::yield();
    } else {
      return;
    }
  }
}

void PortAudioInput::Close() {
  if (!stream_) return;
  Stop();
  // The notification thread delivers a buffer just handed back before it sees the close.
  closing_.store(true, std::memory_order_release);
  wake_.release();
  notifier_.join();
  stream_.reset();
  stream_active_.store(false, std::memory_order_release);
  session_.reset();
  on_done_ = nullptr;
}

int PortAudioInput::OnAudio(const void* input, void* /*output*/, unsigned long frames,
                            const PaStreamCallbackTimeInfo* /*time*/,
                            PaStreamCallbackFlags /*flags*/, void* self) {
  if (input != nullptr) {
    static_cast<PortAudioInput*>(self)->CopySamples(static_cast<const uint8_t*>(input), frames);
  }
  return paContinue;
}

void PortAudioInput::CopySamples(const uint8_t* input, unsigned long frames) {
  int expected = kRecording;
  if (!state_.compare_exchange_strong(expected, kCopying, std::memory_order_acquire)) {
    return;  // no buffer is recording: these samples are dropped
  }
  const size_t offered = static_cast<size_t>(frames) * channels_;
  const size_t taken = std::min(offered, buffer_size_ - filled_);
  std::memcpy(buffer_ + filled_, input, taken);
  filled_ += taken;
  if (filled_ == buffer_size_) {
    state_.store(kHandedBack, std::memory_order_release);
    wake_.release();
  } else {
    state_.store(kRecording, std::memory_order_release);
  }
}

void PortAudioInput::StopIdleStream() {
  std::lock_guard lock(stream_mutex_);
  const int state = state_.load(std::memory_order_acquire);
  if (state == kRecording || state == kCopying || !stream_active_.load(std::memory_order_relaxed)) {
    return;
  }
  // A stopped stream's frames are simply not taken; the result is ignored as at Close.
  Pa_StopStream(stream_->get());
  stream_active_.store(false, std::memory_order_release);
}

void PortAudioInput::NotifyLoop() {
  for (;;) {
    // A stopped stream has nothing to time out: the thread sleeps until the next hand-back.
    if (!stream_active()) {
      wake_.acquire();
    } else if (!wake_.try_acquire_for(idle_stop_)) {
      StopIdleStream();
      continue;
    }
    if (state_.load(std::memory_order_acquire) == kHandedBack) {
      const size_t recorded = filled_;
      state_.store(kEmpty, std::memory_order_release);
      state_.notify_all();
      if (on_done_) on_done_(recorded);
    }
    if (closing_.load(std::memory_order_acquire)) return;
  }
}
