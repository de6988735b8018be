// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/config.h"
#include "core/period.h"
#include "record/record_writer.h"

struct RecorderOptions {
  std::string path = "blipcount.db";
  // How often a full disk or a busy file is tried again.
  std::chrono::milliseconds retry_interval{5000};
  // Events kept in memory while the file cannot take them (a day of one-second periods); later
  // ones are not recorded until it can.
  size_t max_waiting = 86400;
};

// The durable record: every period, run and note, appended to a SQLite database by a writer
// thread of its own.
//
// Threads: the listener functions run on the owner thread and only queue the event (a lock
// held for a push, never across the disk). The writer thread opens the file, then writes what
// is queued, all of it in one transaction per wake-up: at one period a second that is one
// commit per period, and a burst (a slow disk, a fast input) is committed as one. `log` is
// called on the writer thread with each problem line; hand it to the owner thread.
class Recorder : public PeriodListener {
 public:
  using LogFunction = std::function<void(std::string)>;

  Recorder(RecorderOptions options, LogFunction log);
  // Writes what is still queued (one try), then closes the file.
  ~Recorder() override;
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  void OnPeriod(const PeriodReport& period) override;
  void OnRunStart(const RunReport& run) override;
  void OnRunEnd(int64_t end_ms, RunEnd how) override;
  void OnNotes(int64_t at_ms, const std::string& text) override;

  enum class Status {
    kStarting,   // opening the file
    kRecording,  // everything queued is being written
    kWaiting,    // the file cannot take writes for now; events wait and are tried again
    kOff,        // not recording (the log said why); events are dropped
  };
  Status status() const;

  // Waits until every event queued before the call is committed, or the recorder is off;
  // false when the time ran out first. For tests and measurements.
  bool WaitUntilWritten(std::chrono::milliseconds timeout);

 private:
  void Queue(RecordEvent event);
  void WriterThread();
  // Opens the file (writer thread, no lock held): SQLITE_OK, a passing error to wait out, or
  // SQLITE_ABORT when the recorder has gone off.
  int OpenFile(std::vector<RecordEvent>& batch);
  // Drops everything and stops recording, with the line that says why.
  void GoOff(std::vector<RecordEvent>& batch, std::string line);
  void Log(std::string line);

  const RecorderOptions options_;
  const LogFunction log_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;      // the writer: events queued, or the end
  std::condition_variable progress_;  // the waiters of WaitUntilWritten
  std::deque<RecordEvent> queue_;
  size_t in_hand_ = 0;  // events the writer has taken and not yet committed
  Status status_ = Status::kStarting;
  bool stopping_ = false;
  uint64_t queued_ = 0;      // events taken in so far
  uint64_t settled_ = 0;     // of those, the ones written or dropped
  uint64_t unrecorded_ = 0;  // events turned away since the queue became full

  // The writer thread's own.
  struct File;
  std::unique_ptr<File> file_;
  std::thread thread_;
};

// The recorder of the conf's `record` and `database` keys, or none when `record = no`.
std::unique_ptr<Recorder> StartRecorder(const Config& config, Recorder::LogFunction log);
