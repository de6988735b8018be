// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

// The vector forms of the two detectors, written once over a small set of byte operations `V`.
// Each instruction set's translation unit includes this with its own `V`; everything here has
// internal linkage, so code built for one instruction set never stands in for another's.

#include <cstddef>
#include <cstdint>

namespace {

// A jump between `a` and `b` greater than the threshold, as 1 or 0 per byte:
// |a - b| - threshold, saturated at 0, is non-zero exactly when the jump exceeds it.
template <class V>
inline typename V::Vec Hits(typename V::Vec a, typename V::Vec b, typename V::Vec threshold) {
  typename V::Vec jump = V::Or(V::SubSat(a, b), V::SubSat(b, a));
  return V::Min(V::SubSat(jump, threshold), V::Splat(1));
}

inline bool Exceeds(uint8_t later, uint8_t earlier, uint32_t threshold) {
  int jump = static_cast<int>(later) - static_cast<int>(earlier);
  if (jump < 0) jump = -jump;
  return static_cast<uint32_t>(jump) > threshold;
}

template <class V>
uint64_t PulsesSimd(const uint8_t* data, size_t length, uint32_t threshold) {
  constexpr size_t kBlock = 4 * V::kWidth;
  // A jump is at most 255, so a threshold of 255 or more is never exceeded.
  if (length < 2 || threshold >= 255) return 0;
  const typename V::Vec limit = V::Splat(static_cast<uint8_t>(threshold));
  uint64_t total = 0;
  size_t i = 1;
  while (i + kBlock <= length) {
    typename V::Vec acc = V::Zero();
    // Each byte lane gains at most 4 per round: 63 rounds stay below 256.
    for (int round = 0; round < 63 && i + kBlock <= length; ++round, i += kBlock) {
      for (size_t k = 0; k < kBlock; k += V::kWidth) {
        acc = V::Add(acc, Hits<V>(V::Load(data + i + k), V::Load(data + i + k - 1), limit));
      }
    }
    total += V::SumBytes(acc);
  }
  if (i + V::kWidth <= length) {
    typename V::Vec acc = V::Zero();
    for (; i + V::kWidth <= length; i += V::kWidth) {
      acc = V::Add(acc, Hits<V>(V::Load(data + i), V::Load(data + i - 1), limit));
    }
    total += V::SumBytes(acc);
  }
  for (; i < length; ++i) total += Exceeds(data[i], data[i - 1], threshold) ? 1 : 0;
  return total;
}

template <class V>
uint64_t CoincidencesSimd(const uint8_t* data, size_t length, uint32_t threshold) {
  constexpr size_t kBlock = 4 * V::kWidth;
  const size_t end = length & ~static_cast<size_t>(1);  // whole frames only
  if (end <= 2 || threshold >= 255) return 0;
  const typename V::Vec limit = V::Splat(static_cast<uint8_t>(threshold));
  // Both channels of a frame hit: the first channel's 0/1 in the low byte of each 16-bit word,
  // the second's moved down onto it; the high byte becomes 0.
  auto both = [&](const uint8_t* frame) {
    typename V::Vec hits = Hits<V>(V::Load(frame), V::Load(frame - 2), limit);
    return V::And(hits, V::WordsDown8(hits));
  };
  uint64_t total = 0;
  size_t i = 2;
  while (i + kBlock <= end) {
    typename V::Vec acc = V::Zero();
    for (int round = 0; round < 63 && i + kBlock <= end; ++round, i += kBlock) {
      for (size_t k = 0; k < kBlock; k += V::kWidth) acc = V::Add(acc, both(data + i + k));
    }
    total += V::SumBytes(acc);
  }
  if (i + V::kWidth <= end) {
    typename V::Vec acc = V::Zero();
    for (; i + V::kWidth <= end; i += V::kWidth) acc = V::Add(acc, both(data + i));
    total += V::SumBytes(acc);
  }
  for (; i < end; i += 2) {
    if (Exceeds(data[i], data[i - 2], threshold) && Exceeds(data[i + 1], data[i - 1], threshold)) {
      ++total;
    }
  }
  return total;
}

}  // namespace
