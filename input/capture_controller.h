// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "core/counter_state.h"

class AudioInput;  // input/audio_input.h

// The four values the main window edits, as its saving exchange hands them over.
struct MainValues {
  uint32_t threshold = 100;
  uint32_t sampletime = 1;
  uint32_t repeat = 10;
  double scale = 600.0;
};

// The main window's saving exchange as the capture sees it. Owner thread.
class FieldExchange {
 public:
  virtual ~FieldExchange() = default;
  // Saves the fields with validation. A failure has shown its message already and gives nothing.
  virtual std::optional<MainValues> SaveFields() = 0;
};

// The run: Start, the per-period completion, Cancel, and closing the device. Every public
// function runs on the owner thread; the device's completions are posted there through
// `state.owner` (which must be set whenever the device is a real one; without an owner the
// completion runs on the device's notification thread).
class CaptureController {
 public:
  using DeviceFactory = std::function<std::unique_ptr<AudioInput>()>;

  CaptureController(CounterState& state, DeviceFactory make_device, FieldExchange& fields);
  ~CaptureController();
  CaptureController(const CaptureController&) = delete;
  CaptureController& operator=(const CaptureController&) = delete;

  void OnStart();
  void OnCancelSampling();

  // Stops a capture in progress, closes the device and forgets it (the OK route, after the
  // fields were validated, and the end of the program).
  void StopAndClose();

  bool device_open() const;
  // A buffer is queued with the device or a completion is on its way.
  bool capturing() const;

 private:
  struct Impl;
  // Shared so that a completion posted before the controller went away can see that it has.
  std::shared_ptr<Impl> impl_;
};
