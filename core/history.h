// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <span>

#include "core/zeroed_block.h"

// The per-period counts of a run. It knows how many entries it holds: every store and read is
// bounded by that, whatever `iteration`, `repeat` or `scrollwidth` say. Absent when its
// allocation failed (or before the first run): then it holds no entries.
class CountHistory {
 public:
  CountHistory() = default;

  // A history of `entries` zero counts; absent when the byte size exceeds `limit` or cannot be
  // mapped. The byte size is computed in 64 bits.
  static CountHistory Allocate(uint64_t entries, uint64_t limit = UINT64_MAX);

  bool present() const { return block_.present(); }
  uint64_t size() const { return size_; }

  // The first min(n, size()) entries.
  std::span<const uint32_t> First(uint64_t n) const;
  std::span<uint32_t> entries();
  std::span<const uint32_t> entries() const;

  // Stores at `index` when it exists; returns false (and stores nothing) otherwise.
  bool Store(uint64_t index, uint32_t counts);

 private:
  ZeroedBlock block_;
  uint64_t size_ = 0;
};
