// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "record/export_job.h"

#include <cerrno>
#include <cstring>

#include "core/text_format.h"
#include "files/atomic_file.h"

ExportJob::ExportJob(std::string database, std::string target, ExportRange range, Done done)
    : thread_([this, database = std::move(database), target = std::move(target), range,
               done = std::move(done)] { Run(database, target, range, done); }) {}

ExportJob::~ExportJob() {
  cancel_.store(true);
  thread_.join();
}

void ExportJob::Run(const std::string& database, const std::string& target, ExportRange range,
                    const Done& done) {
  const char* name = target.c_str();
  std::string line;
  AtomicFile file = AtomicFile::Create(target, AtomicFile::Durability::kSynced);
  if (!file.is_open()) {
    line = StringPrintf("Export to \"%s\" failed: the file cannot be created there (%s).", name,
                        std::strerror(errno));
  } else {
    const ExportResult result = ExportRecord(
        database, range, ExportFormatForFile(target),
        [&file](std::string_view text) {
          file.Write(text);  // a failure is remembered and fails the commit
          return true;
        },
        &cancel_);
    if (result.status != ExportResult::kDone) {
      line = StringPrintf("Export to \"%s\" failed: %s.", name,
                          ExportProblem(database, result).c_str());
    } else if (!file.Commit()) {
      line = StringPrintf("Export to \"%s\" failed: the file could not be written (%s).", name,
                          std::strerror(errno));
    } else {
      line = StringPrintf("Exported %llu periods to \"%s\".",
                          static_cast<unsigned long long>(result.periods), name);
    }
  }
  if (!cancel_.load() && done) done(std::move(line));
  finished_.store(true);
}
