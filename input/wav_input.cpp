// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "input/wav_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "core/detect.h"
#include "core/period_events.h"
#include "core/process.h"
#include "core/report.h"
#include "core/text_format.h"
#include "input/wav_reader.h"

namespace {

class OpenFile {
 public:
  // O_NONBLOCK: opening a FIFO that has no writer would wait for one.
  explicit OpenFile(const std::string& path)
      : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)) {}
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

std::string ReadingLine(const std::string& path) {
  return StringPrintf("Reading WAV File \"%s\"", path.c_str());
}

}  // namespace

WavCount CountWavFile(const std::string& path, const WavCountSettings& settings,
                      const WavProgress& progress) {
  WavCount count;
  OpenFile file(path);
  struct stat info {};
  // Only a regular file can be read without the risk of waiting for ever (a FIFO, a terminal)
  // or of reading something that is not a recording (a directory, a device).
  if (file.fd() < 0 || fstat(file.fd(), &info) != 0 || !S_ISREG(info.st_mode)) return count;
  const int flags = fcntl(file.fd(), F_GETFL);
  if (flags >= 0) fcntl(file.fd(), F_SETFL, flags & ~O_NONBLOCK);
  posix_fadvise(file.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);

  count.outcome = WavCount::Outcome::kRefused;
  unsigned char header[kWavHeaderBytes];
  // A file shorter than its header would be judged by bytes it does not hold.
  if (ReadFully(file.fd(), reinterpret_cast<std::byte*>(header), kWavHeaderBytes) <
      kWavHeaderBytes) {
    return count;
  }
  const std::optional<uint32_t> n = ParseWavHeader(header);
  if (!n || *n > settings.allocation_limit) return count;
  count.n = *n;
  const uint32_t samplerate = settings.samplerate == 0 ? 11025 : settings.samplerate;
  count.seconds = count.n / samplerate;
  // A period of 0 seconds has no rate to show.
  if (count.seconds == 0) {
    count.outcome = WavCount::Outcome::kTooShort;
    return count;
  }

  const uint64_t period = uint64_t{count.seconds} * samplerate;
  const uint64_t in_file = info.st_size > static_cast<off_t>(kWavHeaderBytes)
                               ? static_cast<uint64_t>(info.st_size) - kWavHeaderBytes
                               : 0;
  const uint64_t expected = std::min(period, in_file);
  const size_t chunk = std::max<size_t>(settings.chunk_bytes, 1);
  std::vector<uint8_t> buffer(chunk);
  uint64_t pulses = 0;
  uint64_t done = 0;
  uint8_t last = 0;
  while (done < period) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk, period - done));
    const size_t got = ReadFully(file.fd(), reinterpret_cast<std::byte*>(buffer.data()), want);
    if (got == 0) break;
    // The pair across the joint, then the pairs inside the chunk.
    if (done > 0 && static_cast<uint32_t>(std::abs(buffer[0] - last)) > settings.threshold) {
      ++pulses;
    }
    pulses += static_cast<uint32_t>(CountPulses(buffer.data(), got, settings.threshold));
    last = buffer[got - 1];
    done += got;
    if (progress && !progress(done, std::max(expected, done))) {
      count.outcome = WavCount::Outcome::kCancelled;
      return count;
    }
    if (got < want) break;  // the file ends here (it may have shrunk while it was read)
  }
  count.pulses = static_cast<int32_t>(
      std::min<uint64_t>(pulses, static_cast<uint64_t>(std::numeric_limits<int32_t>::max())));
  count.outcome = WavCount::Outcome::kCounted;
  return count;
}

void ApplyWavCount(CounterState& state, const std::string& path, const WavCount& count) {
  switch (count.outcome) {
    case WavCount::Outcome::kUnreadable:
    case WavCount::Outcome::kCancelled:
      return;
    case WavCount::Outcome::kRefused:
      state.sample_buffer = ZeroedBlock();
      LogLine(state, kWavParseError);
      return;
    case WavCount::Outcome::kTooShort:
      LogLine(state, kWavTooShort);
      return;
    case WavCount::Outcome::kCounted:
      break;
  }
  // The file was counted as it was read; nothing reads its samples afterwards, so they are not
  // kept, and the previous run's buffer goes as the command releases it.
  state.sample_buffer = ZeroedBlock();
  {
    std::lock_guard lock(state.shared_mutex);
    state.repeat = 1;
    state.history = CountHistory::Allocate(state.repeat, state.allocation_limit);
    state.sampletime = count.seconds;
    state.iteration = 0;
  }
  SetField(state.controls.repeat_field, "1");
  SetField(state.controls.sampletime_field,
           StringPrintf("%d", static_cast<int32_t>(count.seconds)));
  // The recording is mono: one channel, whatever the coincidence setting says.
  state.period_source = path;
  // The file is a run of one period of its own.
  TellRunStart(state, PeriodFormat{count.seconds, false});
  ProcessCountedPeriod(state, PeriodFormat{count.seconds, false}, count.pulses);
  TellRunEnd(state, RunEnd::kDone);
  state.period_source.clear();
}

void ReadWavFileCommand(CounterState& state, const std::string& path, bool capturing) {
  // The capture records into the sample buffer that this command would replace.
  if (capturing) {
    LogLine(state, kWavWhileCapturing);
    return;
  }
  LogLine(state, ReadingLine(path));
  ApplyWavCount(state, path,
                CountWavFile(path, {state.threshold, state.samplerate, state.allocation_limit}));
}

struct WavFileRead::Job {
  std::string path;
  WavCountSettings settings;
  std::function<void(uint64_t)> observer;
  std::function<void()> on_finished;
  std::atomic<bool> cancel{false};
  std::atomic<uint64_t> done{0};
  std::atomic<uint64_t> total{0};
  // Written by the worker before it posts the finish; read after the join.
  WavCount result;
  std::thread worker;
};

WavFileRead::WavFileRead(CounterState& state, std::function<bool()> capturing)
    : state_(state),
      capturing_(std::move(capturing)),
      alive_(std::make_shared<WavFileRead*>(this)) {}

WavFileRead::~WavFileRead() {
  if (!job_) return;
  job_->cancel.store(true);
  if (job_->worker.joinable()) job_->worker.join();
}

bool WavFileRead::Begin(const std::string& path, std::function<void()> on_finished) {
  if (job_) {
    LogLine(state_, kWavBusy);
    return false;
  }
  if (capturing_ && capturing_()) {
    LogLine(state_, kWavWhileCapturing);
    return false;
  }
  LogLine(state_, ReadingLine(path));
  const WavCountSettings settings{state_.threshold, state_.samplerate, state_.allocation_limit,
                                  chunk_bytes_};
  OwnerThread* owner = state_.owner;
  if (owner == nullptr) {
    ApplyWavCount(state_, path, CountWavFile(path, settings));
    if (on_finished) on_finished();
    return true;
  }

  auto job = std::make_shared<Job>();
  job->path = path;
  job->settings = settings;
  job->observer = chunk_observer_;
  job->on_finished = std::move(on_finished);
  job_ = job;
  std::weak_ptr<WavFileRead*> alive = alive_;
  // The worker holds only the job; the owner's finish finds the command through `alive`.
  job->worker =
      std::thread([job_raw = job.get(), weak_job = std::weak_ptr<Job>(job), alive, owner] {
        Job& work = *job_raw;
        work.result =
            CountWavFile(work.path, work.settings, [&work](uint64_t done, uint64_t total) {
              work.total.store(total, std::memory_order_relaxed);
              work.done.store(done, std::memory_order_relaxed);
              if (work.observer) work.observer(done);
              return !work.cancel.load(std::memory_order_relaxed);
            });
        owner->Post([weak_job, alive] {
          auto command = alive.lock();
          auto finished = weak_job.lock();
          if (command && finished) (*command)->Finish(finished);
        });
      });
  return true;
}

void WavFileRead::Finish(const std::shared_ptr<Job>& job) {
  if (job != job_) return;
  job->worker.join();
  job_.reset();
  if (job->cancel.load()) {
    LogLine(state_, kWavCancelled);
  } else if (capturing_ && capturing_()) {
    // A run started while the file was read: it owns the sample buffer now.
    LogLine(state_, kWavWhileCapturing);
  } else {
    ApplyWavCount(state_, job->path, job->result);
  }
  if (job->on_finished) job->on_finished();
}

void WavFileRead::Cancel() {
  if (job_) job_->cancel.store(true);
}

bool WavFileRead::running() const { return job_ != nullptr; }

double WavFileRead::progress() const {
  if (!job_) return 0.0;
  const uint64_t total = job_->total.load(std::memory_order_relaxed);
  const uint64_t done = job_->done.load(std::memory_order_relaxed);
  return total == 0 ? 0.0 : std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
}
