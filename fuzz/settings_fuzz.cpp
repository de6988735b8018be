// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// ReadSettings over any file content: no crash, no sanitizer report, and what it stores writes
// and reads back as the same settings.

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/text_format.h"
#include "files/settings_file.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// A title the file did not replace keeps the default's leading blanks, which no read keeps.
std::string WithoutLeadingBlanks(const std::string& title) {
  const size_t first = title.find_first_not_of(" \t\n\r\v\f");
  return first == std::string::npos ? std::string() : title.substr(first);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("settings", MFD_CLOEXEC);
  static const std::string path = StringPrintf("/proc/self/fd/%d", fd);
  Check(fd >= 0);
  Check(ftruncate(fd, 0) == 0);
  Check(pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));

  CounterState read;
  Check(ReadSettings(read, path));
  Check(read.graphtitle.size() <= 127);

  CounterState again;
  again.graphtitle = "not the title";
  ParseSettings(again, FormatSettings(read));
  Check(again.sampletime == read.sampletime && again.repeat == read.repeat &&
        again.threshold == read.threshold && again.webport == read.webport &&
        again.timingticksperminute == read.timingticksperminute &&
        again.autostart == read.autostart && again.scrollwidth == read.scrollwidth &&
        again.graphtitle == WithoutLeadingBlanks(read.graphtitle) &&
        again.savegraph == read.savegraph && again.coincidence == (read.coincidence & 0xFF));
  // "%f" keeps six decimals, which a float below 8 may carry more finely than that.
  Check(std::fabs(again.scale - read.scale) <= 1e-6 * std::fmax(1.0, std::fabs(read.scale)));
  return 0;
}
