// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// AVX-512BW kernels. This unit alone is built with the AVX-512 flags and is only called after a
// run-time check, so it includes nothing whose inline code another unit could pick up.
//
// A compare gives one bit per byte in a mask register, so 64 pairs cost a few vector operations
// and a population count. The loads are what limits the pass: a vector's earlier samples are
// the same bytes one sample (one frame) back, so every second vector takes them from the vector
// before it with two shuffles instead of loading them again, and the main loop starts at a
// 64-byte boundary so that only those second loads straddle cache lines. The first and the last
// partial vector are read with masked loads, which touch no byte outside the buffer.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "core/detect.h"

namespace detect_kernels {
namespace {

constexpr size_t kWidth = 64;

// Lanes whose jump from `earlier` to `later` is greater than `limit`.
inline __mmask64 Hits(__m512i later, __m512i earlier, __m512i limit) {
  const __m512i jump =
      _mm512_or_si512(_mm512_subs_epu8(later, earlier), _mm512_subs_epu8(earlier, later));
  return _mm512_cmpgt_epu8_mask(jump, limit);
}

// The bytes `kFrame` places before each byte of `current`, where `before` is the vector that
// precedes it: the lanes moved up one 128-bit lane, then each lane shifted in from the one below.
template <size_t kFrame>
inline __m512i Earlier(__m512i current, __m512i before) {
  return _mm512_alignr_epi8(current, _mm512_maskz_alignr_epi64(0xFF, current, before, 6),
                            16 - kFrame);
}

inline __m512i Load(const uint8_t* p) { return _mm512_loadu_si512(p); }

// A load whose value is used more than once. The empty asm keeps it in its register: without
// it GCC 12 folds the load into each use and reads the same bytes three times, and the loads are
// what the loop is bound by.
inline __m512i LoadOnce(const uint8_t* p) {
  __m512i value = _mm512_loadu_si512(p);
  asm("" : "+v"(value));
  return value;
}

// The first `count` bytes (1 to 64) as mask bits.
inline __mmask64 FirstBytes(size_t count) {
  return count >= kWidth ? ~uint64_t{0} : (uint64_t{1} << count) - 1;
}

// Pairs of samples are counted one for one; pairs of frames only where both channels hit: the
// first channel's bit is the even one of each pair, the second channel's the odd one.
template <size_t kFrame>
inline uint64_t Counted(__mmask64 hits) {
  if constexpr (kFrame == 1) {
    return static_cast<uint64_t>(__builtin_popcountll(hits));
  } else {
    constexpr uint64_t kFirstChannel = 0x5555555555555555;
    uint64_t bits = _cvtmask64_u64(hits);
    // Moved out of the mask register once: GCC 12 would move it twice, once for each use, and
    // those moves are what a two-channel pass is bound by.
    asm("" : "+r"(bits));
    return static_cast<uint64_t>(__builtin_popcountll(bits & (bits >> 1) & kFirstChannel));
  }
}

// Pairs of frames of `kFrame` bytes in data[0, end), `end` a whole number of frames.
template <size_t kFrame>
uint64_t CountJumps(const uint8_t* data, size_t end, uint32_t threshold) {
  // A jump is at most 255, so a threshold of 255 or more is never exceeded.
  if (end <= kFrame || threshold >= 255) return 0;
  const __m512i limit = _mm512_set1_epi8(static_cast<char>(threshold));

  // The head, up to the first 64-byte boundary, is one masked vector whose first frame is paired
  // with itself (no jump). A two-channel buffer at an odd address cannot reach a boundary on a
  // whole frame; it is read unaligned.
  size_t i = kWidth - (reinterpret_cast<uintptr_t>(data) % kWidth);
  if (i % kFrame != 0) i = kWidth;
  if (i > end) i = end;
  const __m512i first_frame =
      kFrame == 1
          ? _mm512_set1_epi8(static_cast<char>(data[0]))
          : _mm512_set1_epi16(static_cast<short>(data[0] | static_cast<unsigned>(data[1]) << 8));
  const __mmask64 head = FirstBytes(i);
  const __m512i head_samples = _mm512_maskz_loadu_epi8(head, data);
  uint64_t total =
      Counted<kFrame>(Hits(head_samples, Earlier<kFrame>(head_samples, first_frame), limit) & head);

  for (; i + 2 * kWidth <= end; i += 2 * kWidth) {
    const __m512i first = LoadOnce(data + i);
    const __m512i second = Load(data + i + kWidth);
    total += Counted<kFrame>(Hits(first, Load(data + i - kFrame), limit)) +
             Counted<kFrame>(Hits(second, Earlier<kFrame>(second, first), limit));
  }
  if (i + kWidth <= end) {
    total += Counted<kFrame>(Hits(Load(data + i), Load(data + i - kFrame), limit));
    i += kWidth;
  }
  if (i < end) {
    const __mmask64 rest = FirstBytes(end - i);
    total += Counted<kFrame>(Hits(_mm512_maskz_loadu_epi8(rest, data + i),
                                  _mm512_maskz_loadu_epi8(rest, data + i - kFrame), limit) &
                             rest);
  }
  return total;
}

}  // namespace

uint64_t PulsesAvx512(const uint8_t* data, size_t length, uint32_t threshold) {
  return CountJumps<1>(data, length, threshold);
}

uint64_t CoincidencesAvx512(const uint8_t* data, size_t length, uint32_t threshold) {
  return CountJumps<2>(data, length & ~static_cast<size_t>(1), threshold);  // whole frames only
}

}  // namespace detect_kernels
