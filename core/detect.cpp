// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/detect.h"

#include <cstdlib>
#include <limits>

namespace detect_kernels {

uint64_t PulsesPlain(const uint8_t* data, size_t length, uint32_t threshold) {
  if (length < 2) return 0;
  uint64_t total = 0;
  for (size_t i = 1; i < length; ++i) {
    if (static_cast<uint32_t>(std::abs(data[i] - data[i - 1])) > threshold) ++total;
  }
  return total;
}

uint64_t CoincidencesPlain(const uint8_t* data, size_t length, uint32_t threshold) {
  if (length <= 2) return 0;
  uint64_t total = 0;
  for (size_t i = 2; i + 1 < length; i += 2) {
    uint32_t a = static_cast<uint32_t>(std::abs(data[i] - data[i - 2]));
    uint32_t b = static_cast<uint32_t>(std::abs(data[i + 1] - data[i - 1]));
    if (a > threshold && b > threshold) ++total;
  }
  return total;
}

bool HaveAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

bool HaveAvx512() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512bw");
}

}  // namespace detect_kernels

namespace {

using Kernel = uint64_t (*)(const uint8_t*, size_t, uint32_t);

int32_t Saturate(uint64_t total) {
  constexpr uint64_t kMax = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(total > kMax ? kMax : total);
}

// The widest kernel the processor runs.
Kernel Choose(Kernel avx512, Kernel avx2, Kernel sse2) {
  if (detect_kernels::HaveAvx512()) return avx512;
  return detect_kernels::HaveAvx2() ? avx2 : sse2;
}

}  // namespace

int32_t CountPulses(const uint8_t* data, size_t length, uint32_t threshold) {
  static const Kernel kernel =
      Choose(detect_kernels::PulsesAvx512, detect_kernels::PulsesAvx2, detect_kernels::PulsesSse2);
  return Saturate(kernel(data, length, threshold));
}

int32_t CountCoincidences(const uint8_t* data, size_t length, uint32_t threshold) {
  static const Kernel kernel =
      Choose(detect_kernels::CoincidencesAvx512, detect_kernels::CoincidencesAvx2,
             detect_kernels::CoincidencesSse2);
  return Saturate(kernel(data, length, threshold));
}
