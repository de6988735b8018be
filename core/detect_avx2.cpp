// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// AVX2 kernels. This unit alone is built with -mavx2 and is only called after a run-time check,
// so it includes nothing whose inline code another unit could pick up.
#include <immintrin.h>

#include "core/detect_simd.h"

namespace detect_kernels {
namespace {

struct Avx2 {
  using Vec = __m256i;
  static constexpr size_t kWidth = 32;
  static Vec Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const Vec*>(p)); }
  static Vec Zero() { return _mm256_setzero_si256(); }
  static Vec Splat(uint8_t v) { return _mm256_set1_epi8(static_cast<char>(v)); }
  static Vec SubSat(Vec a, Vec b) { return _mm256_subs_epu8(a, b); }
  static Vec Or(Vec a, Vec b) { return _mm256_or_si256(a, b); }
  static Vec And(Vec a, Vec b) { return _mm256_and_si256(a, b); }
  static Vec Min(Vec a, Vec b) { return _mm256_min_epu8(a, b); }
  static Vec Add(Vec a, Vec b) { return _mm256_add_epi8(a, b); }
  static Vec WordsDown8(Vec a) { return _mm256_srli_epi16(a, 8); }
  static uint64_t SumBytes(Vec a) {
    Vec sums = _mm256_sad_epu8(a, _mm256_setzero_si256());
    return static_cast<uint64_t>(_mm256_extract_epi64(sums, 0)) +
           static_cast<uint64_t>(_mm256_extract_epi64(sums, 1)) +
           static_cast<uint64_t>(_mm256_extract_epi64(sums, 2)) +
           static_cast<uint64_t>(_mm256_extract_epi64(sums, 3));
  }
};

}  // namespace

uint64_t PulsesAvx2(const uint8_t* data, size_t length, uint32_t threshold) {
  return PulsesSimd<Avx2>(data, length, threshold);
}

uint64_t CoincidencesAvx2(const uint8_t* data, size_t length, uint32_t threshold) {
  return CoincidencesSimd<Avx2>(data, length, threshold);
}

}  // namespace detect_kernels
