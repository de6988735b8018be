// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/owner_thread.h"
#include "input/capture_controller.h"
#include "input/portaudio_input.h"
#include "support/fake_controls.h"
#include "support/temp_dir.h"

// The capture controller on a real device (PortAudio unless another is given), with the owner
// thread as a queue that the caller runs: what the end-to-end tests and the soak program drive.
class RealCaptureRig {
 public:
  class Fields : public FieldExchange {
   public:
    std::optional<MainValues> SaveFields() override { return values; }
    MainValues values;
  };

  // `make_device` empty: the PortAudio line input.
  explicit RealCaptureRig(CaptureController::DeviceFactory make_device = {}) {
    state.owner = &owner;
    window.Attach(state);
    if (!make_device) {
      make_device = [this] {
        auto made = std::make_unique<PortAudioInput>();
        device = made.get();
        return made;
      };
    }
    controller = std::make_unique<CaptureController>(state, std::move(make_device), fields);
  }

  // Runs the owner's queue until the run has logged "Done counting." or `limit` has passed.
  bool RunUntilDone(std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      owner.WaitAndRun(std::chrono::milliseconds(50));
      if (!window.log.lines.empty() && window.log.lines.back() == "Done counting.") return true;
    }
    return false;
  }

  CounterState state;
  TaskQueue owner;
  FakeWindow window;
  Fields fields;
  std::unique_ptr<CaptureController> controller;
  // The PortAudio device the controller opened last (owned by the controller).
  PortAudioInput* device = nullptr;
};
