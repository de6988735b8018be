// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// Baseline x86-64 kernels (SSE2 is part of every x86-64 processor).
#include <emmintrin.h>

#include "core/detect_simd.h"

namespace detect_kernels {
namespace {

struct Sse2 {
  using Vec = __m128i;
  static constexpr size_t kWidth = 16;
  static Vec Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const Vec*>(p)); }
  static Vec Zero() { return _mm_setzero_si128(); }
  static Vec Splat(uint8_t v) { return _mm_set1_epi8(static_cast<char>(v)); }
  static Vec SubSat(Vec a, Vec b) { return _mm_subs_epu8(a, b); }
  static Vec Or(Vec a, Vec b) { return _mm_or_si128(a, b); }
  static Vec And(Vec a, Vec b) { return _mm_and_si128(a, b); }
  static Vec Min(Vec a, Vec b) { return _mm_min_epu8(a, b); }
  static Vec Add(Vec a, Vec b) { return _mm_add_epi8(a, b); }
  static Vec WordsDown8(Vec a) { return _mm_srli_epi16(a, 8); }
  static uint64_t SumBytes(Vec a) {
    Vec sums = _mm_sad_epu8(a, _mm_setzero_si128());
    return static_cast<uint64_t>(_mm_cvtsi128_si64(sums)) +
           static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
  }
};

}  // namespace

uint64_t PulsesSse2(const uint8_t* data, size_t length, uint32_t threshold) {
  return PulsesSimd<Sse2>(data, length, threshold);
}

uint64_t CoincidencesSse2(const uint8_t* data, size_t length, uint32_t threshold) {
  return CoincidencesSimd<Sse2>(data, length, threshold);
}

}  // namespace detect_kernels
