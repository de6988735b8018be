// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "input/audio_input.h"

// What a fake device did and will do, shared between the test and the device the controller
// owns, so the test still sees it after the controller has closed or replaced the device.
struct FakeDeviceScript {
  // What the next calls answer.
  bool open_ok = true;
  std::string open_error = "No device here";
  bool add_ok = true;
  bool start_ok = true;

  // What happened, one word per call: "Open 1", "Open 2", "AddBuffer", "Start", "Stop", "Close".
  std::vector<std::string> calls;
  int devices_made = 0;
  int adds_while_queued = 0;

  // The buffer the device holds between AddBuffer and its hand-back.
  std::span<std::byte> buffer;
  bool queued = false;
  bool recording = false;
  size_t recorded = 0;  // bytes written into the queued buffer so far
  AudioInput::Completion on_done;
  unsigned channels = 0;

  // The device writes `bytes` into the queued buffer from where it stands (as the audio thread
  // would while recording).
  void Record(std::span<const uint8_t> bytes) {
    const size_t n = std::min(bytes.size(), buffer.size() - recorded);
    std::memcpy(buffer.data() + recorded, bytes.data(), n);
    recorded += n;
  }

  // The buffer is full: records `bytes` and hands it back. Returns false when nothing was
  // recording.
  bool Complete(std::span<const uint8_t> bytes) {
    if (!queued || !recording) return false;
    Record(bytes);
    recorded = buffer.size();
    HandBack();
    return true;
  }

  void HandBack() {
    queued = false;
    recording = false;
    const size_t bytes = recorded;
    recorded = 0;
    if (on_done) on_done(bytes);
  }
};

class FakeAudioInput : public AudioInput {
 public:
  explicit FakeAudioInput(std::shared_ptr<FakeDeviceScript> script) : script_(std::move(script)) {
    ++script_->devices_made;
  }
  ~FakeAudioInput() override { Close(); }

  OpenResult Open(const CaptureFormat& format, Completion on_done) override {
    script_->calls.push_back("Open " + std::to_string(format.channels));
    if (!script_->open_ok) return {false, script_->open_error};
    script_->on_done = std::move(on_done);
    script_->channels = format.channels;
    open_ = true;
    return {true, {}};
  }
  bool AddBuffer(std::span<std::byte> buffer) override {
    script_->calls.push_back("AddBuffer");
    if (script_->queued) ++script_->adds_while_queued;
    if (!open_ || script_->queued || !script_->add_ok) return false;
    script_->buffer = buffer;
    script_->queued = true;
    script_->recorded = 0;
    return true;
  }
  bool Start() override {
    script_->calls.push_back("Start");
    if (!open_ || !script_->queued || !script_->start_ok) return false;
    script_->recording = true;
    return true;
  }
  void Stop() override {
    script_->calls.push_back("Stop");
    if (script_->queued) script_->HandBack();
  }
  void Close() override {
    if (!open_) return;
    script_->calls.push_back("Close");
    if (script_->queued) script_->HandBack();
    open_ = false;
    script_->on_done = nullptr;
  }

 private:
  std::shared_ptr<FakeDeviceScript> script_;
  bool open_ = false;
};
