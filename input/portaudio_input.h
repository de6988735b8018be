// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include "input/audio_input.h"

#include <portaudio.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <semaphore>
#include <thread>

// The error text of Open when ALSA's configuration defines no default device.
inline constexpr char kNoDefaultPcm[] =
    "No default audio device: ALSA's configuration defines none";
// PortAudio is not thread-safe: every call of the library outside a stream's own callbacks
// (initialising, opening, starting, closing, terminating) is made under this lock, whichever
// thread makes it. Recursive, so that a session or stream may be made or ended under it.
std::recursive_mutex& PortAudioLock();

// One PortAudio session: Pa_Initialize on construction, Pa_Terminate on destruction. The host
// APIs' probing chatter (JACK, ALSA) is kept off the terminal while it initialises, by putting
// the process's standard error aside for that time; a session made off the owner thread must
// leave it alone (kAsIs), or it would swallow what other threads write meanwhile.
class PortAudioSession {
 public:
  enum class Chatter { kQuiet, kAsIs };
  explicit PortAudioSession(Chatter chatter = Chatter::kQuiet);
  ~PortAudioSession();
  PortAudioSession(const PortAudioSession&) = delete;
  PortAudioSession& operator=(const PortAudioSession&) = delete;

  bool ok() const { return error_ == paNoError; }
  PaError error() const { return error_; }

 private:
  Chatter chatter_;
  PaError error_;
};

// An open PortAudio stream; closed (after an abort) on destruction.
class PortAudioStream {
 public:
  PortAudioStream() = default;
  explicit PortAudioStream(PaStream* stream) : stream_(stream) {}
  ~PortAudioStream();
  PortAudioStream(const PortAudioStream&) = delete;
  PortAudioStream& operator=(const PortAudioStream&) = delete;

  PaStream* get() const { return stream_; }

 private:
  PaStream* stream_ = nullptr;
};

// The line input through PortAudio's default input device: unsigned 8-bit samples, one channel
// or two interleaved. Start starts the stream when it is not running; Stop only hands the buffer
// back, so the stream runs on through the few milliseconds in which a period is processed and
// the next one queued. When no buffer has been recording for a while (`kIdleStop`), the
// notification thread stops the stream, so an idle program takes no samples and no CPU.
//
// The audio thread and the owner hand the buffer over through one atomic state: the audio
// thread claims it only while recording, copies, and either hands it back (full) or releases
// the claim; Stop takes it back as soon as no copy is in progress, which is never longer than
// one device period. A notification thread turns each hand-back into a call of the completion,
// so the audio thread itself never allocates, locks or calls out.
class PortAudioInput : public AudioInput {
 public:
  // `idle_stop`: how long no buffer may record before the stream stops.
  explicit PortAudioInput(std::chrono::milliseconds idle_stop = kIdleStop)
      : idle_stop_(idle_stop) {}
  ~PortAudioInput() override;
  PortAudioInput(const PortAudioInput&) = delete;
  PortAudioInput& operator=(const PortAudioInput&) = delete;

  OpenResult Open(const CaptureFormat& format, Completion on_done) override;
  bool AddBuffer(std::span<std::byte> buffer) override;
  bool Start() override;
  void Stop() override;
  void Close() override;

  // The stream is running (between a Start and the idle stop or Close). Any thread.
  bool stream_active() const { return stream_active_.load(std::memory_order_acquire); }

  static constexpr std::chrono::milliseconds kIdleStop{1000};

 private:
  enum State : int {
    kEmpty,       // no buffer; samples are dropped
    kQueued,      // buffer added, not recording
    kRecording,   // the audio thread may claim the buffer
    kCopying,     // the audio thread is writing into it
    kHandedBack,  // done; its completion is on its way
  };

  static int OnAudio(const void* input, void* output, unsigned long frames,
                     const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags flags, void* self);
  void CopySamples(const uint8_t* input, unsigned long frames);
  void HandBack();
  void NotifyLoop();
  void StopIdleStream();

  std::chrono::milliseconds idle_stop_;
  std::unique_ptr<PortAudioSession> session_;
  std::unique_ptr<PortAudioStream> stream_;
  Completion on_done_;
  unsigned channels_ = 1;

  std::atomic<int> state_{kEmpty};
  // Written by the owner before the buffer is queued, and by the audio thread only while it
  // holds the claim; read by the notification thread after the hand-back.
  std::byte* buffer_ = nullptr;
  size_t buffer_size_ = 0;
  size_t filled_ = 0;

  std::counting_semaphore<> wake_{0};
  std::atomic<bool> closing_{false};
  std::thread notifier_;

  // Starting and stopping the stream, by the owner (Start) and the notification thread (the
  // idle stop).
  std::mutex stream_mutex_;
  std::atomic<bool> stream_active_{false};
};
