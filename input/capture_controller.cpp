// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "input/capture_controller.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "core/period_events.h"
#include "core/process.h"
#include "core/report.h"
#include "core/text_format.h"
#include "input/audio_input.h"

CaptureFormat MakeCaptureFormat(bool two_channels, uint32_t samples_per_second) {
  CaptureFormat format;
  format.format_tag = 1;
  format.channels = two_channels ? 2 : 1;
  format.samples_per_second = samples_per_second;
  format.block_align = static_cast<uint16_t>(format.channels * 8 / 8);
  format.avg_bytes_per_second = format.block_align * samples_per_second;
  format.bits_per_sample = 8;
  format.extra_size = 0;
  return format;
}

namespace {

void Enable(ButtonControl* button, bool enabled) {
  if (button != nullptr) button->SetEnabled(enabled);
}

void SetText(TextControl* field, const char* text) {
  if (field != nullptr) field->SetText(text);
}

// The part of a period that Cancel cut short repeats the last frame recorded (or, when nothing
// was recorded, the frame the buffer ended on), so no old click is counted twice and no jump
// appears where the recording stopped.
void FillUnrecordedTail(ZeroedBlock& buffer, size_t recorded, size_t frame_bytes) {
  const size_t size = static_cast<size_t>(buffer.size());
  recorded -= recorded % frame_bytes;
  if (recorded >= size || size < frame_bytes) return;
  std::byte* data = buffer.data();
  const std::byte* last = recorded == 0 ? data + size - frame_bytes : data + recorded - frame_bytes;
  std::byte frame[2];
  std::memcpy(frame, last, frame_bytes);
  if (frame_bytes == 1) {
    std::memset(data + recorded, std::to_integer<int>(frame[0]), size - recorded);
  } else {
    for (size_t i = recorded; i + frame_bytes <= size; i += frame_bytes) {
      std::memcpy(data + i, frame, frame_bytes);
    }
  }
}

}  // namespace

struct CaptureController::Impl : std::enable_shared_from_this<CaptureController::Impl> {
  Impl(CounterState& s, DeviceFactory factory, FieldExchange& f)
      : state(s), make_device(std::move(factory)), fields(f) {}

  void OnStart();
  void OnCancelSampling();
  void StopAndClose();
  bool OpenAudioInput();
  // Device thread: a buffer was handed back. Owner thread: runs the completions handed back so
  // far, in order.
  void Arrived(size_t bytes_recorded);
  void DeliverArrived();
  // The period that Cancel stopped is processed (and the run ended) before a new Start goes on.
  void FinishCancelledRun();
  void WaveInCallback(size_t bytes_recorded);
  // Hands back whatever the device holds; the completions of those buffers are then ignored.
  void AbandonOutstanding();
  void CloseDevice();
  // Tells the period listeners that the run they were told of has ended.
  void EndRun(RunEnd how);

  CounterState& state;
  DeviceFactory make_device;
  FieldExchange& fields;

  std::unique_ptr<AudioInput> device;
  bool device_two_channels = false;
  // What the current run's periods hold, fixed at Start.
  PeriodFormat run_format;
  // Buffers added whose completion has not run yet on the owner thread.
  uint32_t outstanding = 0;
  // Of those, the ones a new Start or a close abandoned: their completions are dropped.
  uint32_t abandoned = 0;
  // Cancel stopped the device while a buffer was out; its completion ends the run.
  bool cancelled_outstanding = false;
  // The listeners were told of a run that has not ended yet; Cancel was asked for in it.
  bool run_told = false;
  bool cancel_requested = false;

  // The bytes recorded of each buffer handed back, from the device's thread to the owner.
  std::mutex arrived_mutex;
  std::condition_variable arrived_ready;
  // Seldom more than one; a vector keeps its capacity, so no period allocates here.
  std::vector<size_t> arrived;
};

void CaptureController::Impl::Arrived(size_t bytes_recorded) {
  {
    std::lock_guard lock(arrived_mutex);
    arrived.push_back(bytes_recorded);
  }
  arrived_ready.notify_all();
}

void CaptureController::Impl::DeliverArrived() {
  for (;;) {
    size_t bytes_recorded = 0;
    {
      std::lock_guard lock(arrived_mutex);
      if (arrived.empty()) return;
      bytes_recorded = arrived.front();
      arrived.erase(arrived.begin());
    }
    WaveInCallback(bytes_recorded);
  }
}

void CaptureController::Impl::FinishCancelledRun() {
  if (!cancelled_outstanding) return;
  cancelled_outstanding = false;
  if (outstanding <= abandoned) return;
  {
    // The stop has handed the buffer back; the device's thread passes it on at once. Should it
    // never come, the Start abandons it as it would any other.
    std::unique_lock lock(arrived_mutex);
    arrived_ready.wait_for(lock, std::chrono::seconds(2), [this] { return !arrived.empty(); });
  }
  DeliverArrived();
}

bool CaptureController::Impl::OpenAudioInput() {
  LogLine(state, StringPrintf("Audio sampling rate = %d per second", state.samplerate));
  const bool two_channels = state.coincidence_on();
  const CaptureFormat format = MakeCaptureFormat(two_channels, state.samplerate);
  std::unique_ptr<AudioInput> opened = make_device ? make_device() : nullptr;
  if (!opened) {
    LogLine(state, "Error: no audio input available");
    return false;
  }
  // The completion comes on the device's thread: it only posts the period's work to the owner,
  // which drops it if the controller is gone by then.
  std::weak_ptr<Impl> self = weak_from_this();
  OwnerThread* owner = state.owner;
  OpenResult result = opened->Open(format, [self, owner](size_t bytes_recorded) {
    if (auto impl = self.lock()) impl->Arrived(bytes_recorded);
    auto run = [self] {
      if (auto impl = self.lock()) impl->DeliverArrived();
    };
    if (owner != nullptr) {
      owner->Post(std::move(run));
    } else {
      run();
    }
  });
  if (!result.ok) {
    LogLine(state, StringPrintf("Error: %s", result.error.c_str()));
    return false;
  }
  LogLine(state, "Opened Audio Input.");
  device = std::move(opened);
  device_two_channels = two_channels;
  return true;
}

void CaptureController::Impl::AbandonOutstanding() {
  if (device && outstanding > abandoned) device->Stop();
  abandoned = outstanding;
}

void CaptureController::Impl::EndRun(RunEnd how) {
  if (!run_told) return;
  run_told = false;
  TellRunEnd(state, how);
}

void CaptureController::Impl::CloseDevice() {
  EndRun(RunEnd::kStopped);
  if (!device) return;
  AbandonOutstanding();
  device->Close();
  device.reset();
}

void CaptureController::Impl::OnStart() {
  FinishCancelledRun();
  if (device && device_two_channels != state.coincidence_on()) {
    CloseDevice();
    LogLine(state, "Closed Audio.");
  }
  if (!device) OpenAudioInput();
  if (!device) {
    LogLine(state, "Audio input not open.");
    return;
  }

  // A failed validation has shown its message; nothing starts.
  std::optional<MainValues> values = fields.SaveFields();
  if (!values) return;

  state.threshold = values->threshold;
  {
    std::lock_guard lock(state.shared_mutex);
    state.sampletime = values->sampletime;
    state.repeat = values->repeat;
  }
  state.scale = static_cast<float>(values->scale);

  Enable(state.controls.graph_button, state.repeat > 1);
  SetText(state.controls.counts_field, "0");
  SetText(state.controls.cpm_field, "0");
  SetText(state.controls.mrhr_field, "0.0");

  // The device must have handed the old buffer back before it is released.
  AbandonOutstanding();
  EndRun(RunEnd::kStopped);

  const bool two_channels = device_two_channels;
  const uint64_t period_bytes =
      uint64_t{two_channels ? 2u : 1u} * state.samplerate * state.sampletime;
  state.sample_buffer = ZeroedBlock();
  state.sample_buffer = ZeroedBlock::Allocate(period_bytes, state.allocation_limit);
  if (!state.sample_buffer.present()) {
    LogLine(state, "Can't get that much memory.  Use a shorter sample time.");
    return;
  }
  run_format = PeriodFormat{state.sampletime, two_channels};

  {
    const uint64_t entries = state.forever() ? state.scrollwidth : state.repeat;
    CountHistory history = CountHistory::Allocate(entries, state.allocation_limit);
    std::lock_guard lock(state.shared_mutex);
    state.history = std::move(history);
    state.iteration = 0;
  }

  std::span<std::byte> buffer(state.sample_buffer.data(),
                              static_cast<size_t>(state.sample_buffer.size()));
  if (!device->AddBuffer(buffer)) {
    LogLine(state, "Failed to add buffer.");
    return;
  }
  ++outstanding;
  if (!device->Start()) {
    LogLine(state, "Failed to start recording.");
    return;
  }
  state.period_start_ms = UtcNowMs();

  std::string stamp = TimeStamp();
  if (!stamp.empty() && stamp.back() == '\n') stamp.pop_back();
  state.started = stamp;

  LogLine(state, "");
  LogLine(state, "Starting recording.");
  LogLine(state, StringPrintf("Sampling time=%d secs, repeat %d times.%s", state.sampletime,
                              state.repeat, state.forever() ? " (forever) " : ""));
  LogLine(state, stamp);
  Enable(state.controls.start_button, false);
  Enable(state.controls.cancel_button, true);
  run_told = true;
  cancel_requested = false;
  TellRunStart(state, run_format);
}

void CaptureController::Impl::WaveInCallback(size_t bytes_recorded) {
  if (outstanding > 0) --outstanding;
  if (abandoned > 0) {
    --abandoned;
    return;
  }
  if (!device) return;
  device->Stop();

  FillUnrecordedTail(state.sample_buffer, bytes_recorded, run_format.two_channels ? 2 : 1);
  ProcessSample(state, run_format);

  if (state.repeat > 1 && state.iteration < state.repeat) {
    std::span<std::byte> buffer(state.sample_buffer.data(),
                                static_cast<size_t>(state.sample_buffer.size()));
    // As with the first period, a failure here leaves the run waiting for Cancel.
    if (device->AddBuffer(buffer)) {
      ++outstanding;
      if (device->Start()) state.period_start_ms = UtcNowMs();
    }
    return;
  }
  LogLine(state, "Done counting.");
  EndRun(cancel_requested ? RunEnd::kCancelled : RunEnd::kDone);
  Enable(state.controls.start_button, true);
  Enable(state.controls.cancel_button, false);
}

void CaptureController::Impl::OnCancelSampling() {
  if (!device) {
    LogLine(state, "Audio input not open.");
    return;
  }
  device->Stop();
  cancelled_outstanding = outstanding > abandoned;
  LogLine(state, "Cancelled.");
  // The period the stop hands back still belongs to the run, which ends after it.
  if (outstanding > abandoned) {
    cancel_requested = true;
  } else {
    EndRun(RunEnd::kCancelled);
  }
  {
    // Lowering `repeat` ends the run whichever comes first: the period the stop handed back,
    // or one that was already on its way. Either finds `iteration` not below `repeat`.
    std::lock_guard lock(state.shared_mutex);
    state.repeat = state.iteration;
  }
  Enable(state.controls.start_button, true);
  Enable(state.controls.cancel_button, false);
}

void CaptureController::Impl::StopAndClose() {
  const bool was_running = outstanding > abandoned;
  CloseDevice();
  if (was_running) {
    Enable(state.controls.start_button, true);
    Enable(state.controls.cancel_button, false);
  }
}

CaptureController::CaptureController(CounterState& state, DeviceFactory make_device,
                                     FieldExchange& fields)
    : impl_(std::make_shared<Impl>(state, std::move(make_device), fields)) {}

CaptureController::~CaptureController() {
  if (impl_) impl_->CloseDevice();
}

void CaptureController::OnStart() { impl_->OnStart(); }
void CaptureController::OnCancelSampling() { impl_->OnCancelSampling(); }
void CaptureController::StopAndClose() { impl_->StopAndClose(); }
bool CaptureController::device_open() const { return impl_->device != nullptr; }
bool CaptureController::capturing() const { return impl_->outstanding > impl_->abandoned; }
