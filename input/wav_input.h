// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/counter_state.h"

inline constexpr char kWavParseError[] = "Error parsing Wave file.  Is it mono, 8 bit, 11025 kHz?";
inline constexpr char kWavWhileCapturing[] = "Cannot read a WAV file while sampling: Cancel first.";
inline constexpr char kWavTooShort[] =
    "The WAV file holds less than one second of samples: nothing to count.";
inline constexpr char kWavBusy[] = "A WAV file is being read already: wait for it or cancel it.";
inline constexpr char kWavCancelled[] = "Reading the WAV file was cancelled.";

// Bytes read and counted at a time: small enough to stay in the processor's cache between the
// read and the count.
inline constexpr size_t kWavChunkBytes = size_t{128} * 1024;

// What reading a WAV file found, before anything of it reaches the state.
struct WavCount {
  enum class Outcome {
    kUnreadable,  // cannot be opened, or is not a regular file
    kRefused,     // the header test failed (or its sample bytes may not be allocated)
    kTooShort,    // less than one second of samples
    kCancelled,
    kCounted,
  };
  Outcome outcome = Outcome::kUnreadable;
  uint32_t n = 0;        // the sample bytes the header claims
  uint32_t seconds = 0;  // the period: n / samplerate whole seconds
  int32_t pulses = 0;    // in the period's bytes, before the timing clicks are subtracted
};

struct WavCountSettings {
  uint32_t threshold = 100;
  uint32_t samplerate = 11025;
  uint64_t allocation_limit = UINT64_MAX;
  size_t chunk_bytes = kWavChunkBytes;
};

// Called after each chunk with the bytes counted so far and the bytes the period is expected to
// hold (as the file's size was at the start); false stops the read (cancelled).
using WavProgress = std::function<bool(uint64_t done, uint64_t total)>;

// Opens the file without waiting for anything (a FIFO, a device or a directory is unreadable:
// only regular files are read), tests its header and counts the single-channel pulses of the
// period, seconds x samplerate bytes from offset 36, chunk by chunk as it reads, carrying each
// chunk's last sample into the next, so the count is exactly that of the whole period at once.
// The period ends early where the file does (one that shrinks while it is read); one that grows
// is read as far as the period goes. The bytes the file does not supply would repeat its last
// sample and add no pulse. Nothing is kept. Any thread.
WavCount CountWavFile(const std::string& path, const WavCountSettings& settings,
                      const WavProgress& progress = {});

// Applies what the read found, on the owner thread, as the Read File command does after its
// reading line: a counted file becomes one one-period run (the sample buffer is released: nothing
// reads it after the count), a refused header leaves no sample buffer and logs the parsing
// error, a file under a second logs that and changes nothing, and an unreadable file changes
// nothing. The file's name is the period's source while it is processed.
void ApplyWavCount(CounterState& state, const std::string& path, const WavCount& count);

// The Read File command once a path is chosen, all on the calling (owner) thread: logs the
// reading line, reads and counts the file and applies the outcome. `capturing` tells that a live
// run is recording, which refuses the command. A mono file is analysed as one channel, also in
// coincidence mode.
void ReadWavFileCommand(CounterState& state, const std::string& path, bool capturing);

// The Read File command with the reading and counting on a worker thread, so that the window
// never waits for the disk. Begin logs the reading line at once; the outcome is applied on the
// owner thread (posted through `state.owner`) with exactly the log lines and results of
// ReadWavFileCommand, in the same order. Cancel leaves the state as it was before Begin. Without
// an owner thread the command runs on the caller's thread, as ReadWavFileCommand.
//
// Threads: every member is called on the owner thread; the worker touches only its own job.
class WavFileRead {
 public:
  // `capturing` tells whether a live run is recording: it refuses the command at Begin and
  // drops the outcome when a run has started meanwhile.
  WavFileRead(CounterState& state, std::function<bool()> capturing);
  // Cancels a read in progress and waits for its worker.
  ~WavFileRead();
  WavFileRead(const WavFileRead&) = delete;
  WavFileRead& operator=(const WavFileRead&) = delete;

  // Starts reading `path`; `on_finished` runs on the owner thread after the outcome has been
  // applied (or dropped). A second Begin while a read is in progress is refused with a log line.
  bool Begin(const std::string& path, std::function<void()> on_finished = {});
  // The state stays as it was before Begin, and the worker stops at its next chunk.
  void Cancel();
  bool running() const;
  // The part of the file counted so far, 0 to 1.
  double progress() const;

  // For tests: how the worker reads, and a call on the worker after each chunk (with the bytes
  // counted so far), which may hold the worker there.
  void SetCountSettings(size_t chunk_bytes) { chunk_bytes_ = chunk_bytes; }
  void SetChunkObserver(std::function<void(uint64_t done)> observer) {
    chunk_observer_ = std::move(observer);
  }

 private:
  struct Job;
  void Finish(const std::shared_ptr<Job>& job);

  CounterState& state_;
  std::function<bool()> capturing_;
  size_t chunk_bytes_ = kWavChunkBytes;
  std::function<void(uint64_t)> chunk_observer_;
  std::shared_ptr<Job> job_;
  // Lets a posted finish see that the command has gone.
  std::shared_ptr<WavFileRead*> alive_;
};
