// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

// The format a capture device is opened with: PCM, unsigned 8-bit samples, one channel or two
// interleaved (first channel first).
struct CaptureFormat {
  uint16_t format_tag = 1;  // PCM
  uint16_t channels = 1;
  uint32_t samples_per_second = 11025;
  uint16_t block_align = 1;  // bytes per frame: one per channel
  uint32_t avg_bytes_per_second = 11025;
  uint16_t bits_per_sample = 8;
  uint16_t extra_size = 0;
};

CaptureFormat MakeCaptureFormat(bool two_channels, uint32_t samples_per_second);

struct OpenResult {
  bool ok = false;
  std::string error;  // the platform's text when the open failed
};

// A line-input capture device with one buffer at a time.
//
// Threads: every member function is called on the owner thread, one at a time. The device
// fills the buffer on its own audio thread, which only copies samples and never allocates or
// waits for the owner. The completion is called on a notification thread of the device (never
// on the audio thread and never on the owner thread); it should only post work elsewhere.
//
// Buffer ownership: the caller owns the buffer's memory. From AddBuffer until its completion
// has been called the device may write into it, and the caller must neither read, free nor add
// it again. Every buffer added gets exactly one completion, with the number of bytes recorded
// into it from its start; from the moment Stop or Close returns the device no longer writes
// into it, even if the completion is still on its way.
class AudioInput {
 public:
  // Called once per buffer handed back, full or (after Stop) partly filled.
  using Completion = std::function<void(size_t bytes_recorded)>;

  virtual ~AudioInput() = default;

  // Opens the default input device with `format`; `on_done` is called for every buffer handed
  // back until Close.
  virtual OpenResult Open(const CaptureFormat& format, Completion on_done) = 0;

  // Queues the one buffer (a whole number of frames). False when the device is not open or a
  // buffer is queued already.
  virtual bool AddBuffer(std::span<std::byte> buffer) = 0;

  // Starts recording into the queued buffer; samples that arrive while no buffer is queued or
  // recording is stopped are dropped. False when not open or no buffer is queued.
  virtual bool Start() = 0;

  // Stops recording; a queued buffer, filled or not, is handed back as done.
  virtual void Stop() = 0;

  // Stops, hands back a queued buffer (its completion is called before Close returns) and
  // releases the device. Harmless when not open.
  virtual void Close() = 0;
};
