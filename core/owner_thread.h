// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

// The thread that owns CounterState's writes and the window's controls (the GUI thread).
// Post may be called from any thread; the task runs later on the owner thread, in posting order.
class OwnerThread {
 public:
  virtual ~OwnerThread() = default;
  virtual void Post(std::function<void()> task) = 0;
};

// An owner thread without an event loop, for tests and headless use: tasks wait in a queue
// until the owner runs them.
class TaskQueue : public OwnerThread {
 public:
  void Post(std::function<void()> task) override;

  // Runs every task queued so far (and those they queue); returns how many ran.
  size_t RunPending();

  // Waits up to `timeout` for a task, then runs what is queued; returns how many ran.
  size_t WaitAndRun(std::chrono::milliseconds timeout);

  size_t PendingCount() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> tasks_;
};
