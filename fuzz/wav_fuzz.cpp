// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// ReadWaveFile and the Read File command over any file content: no crash, no sanitizer report,
// never more memory than the file holds, and the bytes returned are the file's own.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/text_format.h"
#include "input/wav_input.h"
#include "input/wav_reader.h"
#include "support/fake_controls.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("wav", MFD_CLOEXEC);
  static const std::string path = StringPrintf("/proc/self/fd/%d", fd);
  Check(fd >= 0);
  Check(ftruncate(fd, 0) == 0);
  Check(pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
  Check(lseek(fd, 0, SEEK_SET) == 0);

  uint32_t n = 0;
  ZeroedBlock samples = ReadWaveFile(fd, &n);
  if (samples.present()) {
    Check(size >= 36);
    Check(samples.size() == std::min<uint64_t>(n, size - 36));
    if (samples.size() > 0) Check(std::memcmp(samples.data(), data + 36, samples.size()) == 0);
  }

  // The whole command, coincidence mode on, as the Options dialog would run it.
  CounterState state;
  FakeWindow window;
  window.Attach(state);
  state.coincidence = 1;
  if (size > 0) state.timingticksperminute = data[0];
  ReadWavFileCommand(state, path, false);
  Check(state.sampletime != 0);
  return 0;
}
