// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "input/wav_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <mutex>

#include "core/period_events.h"
#include "core/process.h"
#include "core/report.h"
#include "core/text_format.h"
#include "input/wav_reader.h"

namespace {

class OpenFile {
 public:
  explicit OpenFile(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~OpenFile() {
    if (fd_ >= 0) close(fd_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

void SetField(TextControl* field, const std::string& text) {
  if (field != nullptr) field->SetText(text);
}

}  // namespace

void ReadWavFileCommand(CounterState& state, const std::string& path, bool capturing) {
  // The capture records into the sample buffer that this command would replace.
  if (capturing) {
    LogLine(state, kWavWhileCapturing);
    return;
  }
  LogLine(state, StringPrintf("Reading WAV File \"%s\"", path.c_str()));
  OpenFile file(path);
  if (file.fd() < 0) return;

  uint32_t n = 0;
  ZeroedBlock samples = ReadWaveFile(file.fd(), &n, state.allocation_limit);
  if (!samples.present()) {
    state.sample_buffer = ZeroedBlock();
    LogLine(state, kWavParseError);
    return;
  }
  const uint32_t samplerate = state.samplerate == 0 ? 11025 : state.samplerate;
  const uint32_t seconds = n / samplerate;
  // A period of 0 seconds has no rate to show.
  if (seconds == 0) {
    LogLine(state, kWavTooShort);
    return;
  }

  // The buffer holds what the file supplied; the rest of the period the header claims would
  // repeat the last sample, which adds no pulse, so the count is the same without it.
  state.sample_buffer = std::move(samples);
  {
    std::lock_guard lock(state.shared_mutex);
    state.repeat = 1;
    state.history = CountHistory::Allocate(state.repeat, state.allocation_limit);
    state.sampletime = seconds;
    state.iteration = 0;
  }
  SetField(state.controls.repeat_field, "1");
  SetField(state.controls.sampletime_field, StringPrintf("%d", static_cast<int32_t>(seconds)));
  // The recording is mono: one channel, whatever the coincidence setting says.
  state.period_source = path;
  // The file is a run of one period of its own.
  TellRunStart(state, PeriodFormat{seconds, false});
  ProcessSample(state, PeriodFormat{seconds, false});
  TellRunEnd(state, RunEnd::kDone);
  state.period_source.clear();
}
