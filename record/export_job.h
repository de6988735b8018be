// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "record/export.h"

// An export into a file, on a thread of its own, so a long one never holds up the window. The
// file is written beside its target and put in its place only when complete. The format follows
// the target's name (ExportFormatForFile).
class ExportJob {
 public:
  // Called once on the job's thread with the line that says how it went.
  using Done = std::function<void(std::string line)>;

  ExportJob(std::string database, std::string target, ExportRange range, Done done);
  // Stops an export still running (its file is not put in place) and waits for the thread.
  ~ExportJob();
  ExportJob(const ExportJob&) = delete;
  ExportJob& operator=(const ExportJob&) = delete;

  bool finished() const { return finished_.load(); }

 private:
  void Run(const std::string& database, const std::string& target, ExportRange range,
           const Done& done);

  std::atomic<bool> cancel_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};
