// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/owner_thread.h"

#include <utility>

void TaskQueue::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  ready_.notify_one();
}

size_t TaskQueue::RunPending() {
  size_t ran = 0;
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty()) return ran;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    ++ran;
  }
}

size_t TaskQueue::WaitAndRun(std::chrono::milliseconds timeout) {
  {
    std::unique_lock lock(mutex_);
    ready_.wait_for(lock, timeout, [this] { return !tasks_.empty(); });
  }
  return RunPending();
}

size_t TaskQueue::PendingCount() const {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}
