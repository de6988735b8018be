// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "record/recorder.h"

#include <sqlite3.h>

#include <utility>

#include "core/text_format.h"
#include "record/record_open.h"

namespace {

using Clock = std::chrono::steady_clock;

size_t CountPeriods(const std::vector<RecordEvent>& events) {
  size_t periods = 0;
  for (const RecordEvent& event : events) {
    if (std::holds_alternative<PeriodReport>(event)) ++periods;
  }
  return periods;
}

// What the writer logs when the file stops taking writes for a while.
std::string WaitingLine(const std::string& path, int result) {
  const char* name = path.c_str();
  switch (result & 0xff) {
    case SQLITE_FULL:
      return StringPrintf(
          "Record: the disk is full; counting goes on, and the periods wait in memory until "
          "\"%s\" can take them.",
          name);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return StringPrintf(
          "Record: \"%s\" is held by another program; counting goes on, and the periods wait in "
          "memory until it is free.",
          name);
    default:
      return StringPrintf(
          "Record: writing \"%s\" failed (%s); counting goes on, and the periods wait in memory "
          "until it can be written.",
          name, SqliteErrorText(result).c_str());
  }
}

}  // namespace

struct Recorder::File {
  RecordOpening opening;
  RecordWriter writer;
};

Recorder::Recorder(RecorderOptions options, LogFunction log)
    : options_(std::move(options)), log_(std::move(log)) {
  thread_ = std::thread(&Recorder::WriterThread, this);
}

Recorder::~Recorder() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void Recorder::OnPeriod(const PeriodReport& period) { Queue(period); }
void Recorder::OnRunStart(const RunReport& run) { Queue(run); }
void Recorder::OnRunEnd(int64_t end_ms, RunEnd how) { Queue(RunEndEvent{end_ms, how}); }
void Recorder::OnNotes(int64_t at_ms, const std::string& text) { Queue(NotesEvent{at_ms, text}); }

void Recorder::Queue(RecordEvent event) {
  {
    std::lock_guard lock(mutex_);
    if (status_ == Status::kOff) return;
    if (queue_.size() + in_hand_ >= options_.max_waiting) {
      // The writer says so once, and counts them when recording resumes.
      if (unrecorded_++ != 0) return;
    } else {
      queue_.push_back(std::move(event));
      ++queued_;
    }
  }
  wake_.notify_one();
}

Recorder::Status Recorder::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

bool Recorder::WaitUntilWritten(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  const uint64_t target = queued_;
  return progress_.wait_for(lock, timeout,
                            [&] { return settled_ >= target || status_ == Status::kOff; });
}

void Recorder::Log(std::string line) {
  if (log_) log_(std::move(line));
}

void Recorder::GoOff(std::vector<RecordEvent>& batch, std::string line) {
  {
    std::lock_guard lock(mutex_);
    status_ = Status::kOff;
    settled_ = queued_;
    queue_.clear();
    in_hand_ = 0;
  }
  progress_.notify_all();
  batch.clear();
  file_.reset();
  Log(std::move(line));
}

int Recorder::OpenFile(std::vector<RecordEvent>& batch) {
  auto file = std::make_unique<File>();
  file->opening = OpenRecordForWriting(options_.path);
  if (file->opening.status == RecordOpening::kTryAgain) return file->opening.result;
  if (file->opening.status == RecordOpening::kOpened) {
    const int result = file->writer.Prepare(file->opening.db);
    if (result == SQLITE_OK) {
      file_ = std::move(file);
      return SQLITE_OK;
    }
    if (IsPassingSqliteError(result)) return result;
    // A record of this version without all its tables has been damaged.
    file->opening.status = RecordOpening::kDamaged;
    file->opening.detail = file->opening.db.error_text();
  }
  GoOff(batch, RecordOpeningProblem(options_.path, file->opening));
  return SQLITE_ABORT;
}

void Recorder::WriterThread() {
  std::vector<RecordEvent> batch;  // taken from the queue and not committed yet
  Status status = Status::kStarting;
  Clock::time_point retry_at;
  int waiting_for = SQLITE_OK;  // the passing error that the file is waited out for
  bool told_unrecorded = false;
  for (;;) {
    bool last = false;
    uint64_t unrecorded = 0;
    std::deque<RecordEvent> taken;
    {
      std::unique_lock lock(mutex_);
      const auto unrecorded_untold = [&] { return unrecorded_ > 0 && !told_unrecorded; };
      if (status == Status::kWaiting) {
        wake_.wait_until(lock, retry_at, [&] { return stopping_ || unrecorded_untold(); });
      } else if (status == Status::kRecording) {
        wake_.wait(lock, [&] { return stopping_ || !queue_.empty() || unrecorded_untold(); });
      }
      last = stopping_;
      unrecorded = unrecorded_;
      // Only the swap under the lock: the owner thread's next push never waits for the copy.
      taken.swap(queue_);
      in_hand_ = batch.size() + taken.size();
    }
    for (RecordEvent& event : taken) batch.push_back(std::move(event));
    if (unrecorded > 0 && !told_unrecorded) {
      told_unrecorded = true;
      Log(StringPrintf(
          "Record: %zu entries are waiting, as many as are kept in memory; newer periods are not "
          "recorded until \"%s\" can take them.",
          options_.max_waiting, options_.path.c_str()));
    }
    // Woken early (by the line above): the retry waits for its time.
    if (status == Status::kWaiting && !last && Clock::now() < retry_at) continue;

    int result = file_ ? SQLITE_OK : OpenFile(batch);
    if (result == SQLITE_ABORT) return;  // gone off; the line is logged
    if (result == SQLITE_OK && !batch.empty()) result = file_->writer.Write(batch);

    if (result == SQLITE_OK) {
      const size_t periods = CountPeriods(batch);
      {
        std::lock_guard lock(mutex_);
        settled_ += batch.size();
        in_hand_ = 0;
        status_ = Status::kRecording;
        unrecorded = unrecorded_;
        unrecorded_ = 0;
      }
      progress_.notify_all();
      batch.clear();
      if (status == Status::kWaiting) {
        std::string line = StringPrintf(
            "Record: recording to \"%s\" again; the %zu periods "
            "that waited are written",
            options_.path.c_str(), periods);
        if (unrecorded > 0) {
          line += StringPrintf(", %llu more were not recorded",
                               static_cast<unsigned long long>(unrecorded));
        }
        Log(line + ".");
      }
      status = Status::kRecording;
      waiting_for = SQLITE_OK;
      told_unrecorded = false;
    } else if (IsPassingSqliteError(result)) {
      {
        std::lock_guard lock(mutex_);
        status_ = Status::kWaiting;
      }
      // One line when the waiting begins, and one when its cause changes.
      if ((waiting_for & 0xff) != (result & 0xff)) Log(WaitingLine(options_.path, result));
      status = Status::kWaiting;
      waiting_for = result;
      retry_at = Clock::now() + options_.retry_interval;
    } else {
      GoOff(batch, StringPrintf("Record: writing \"%s\" failed (%s); it is left as it is, and "
                                "counting goes on without recording.",
                                options_.path.c_str(), SqliteErrorText(result).c_str()));
      return;
    }
    if (last) return;
  }
}

std::unique_ptr<Recorder> StartRecorder(const Config& config, Recorder::LogFunction log) {
  if (!config.record) return nullptr;
  RecorderOptions options;
  options.path = config.database;
  return std::make_unique<Recorder>(std::move(options), std::move(log));
}
