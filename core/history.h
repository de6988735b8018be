// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <span>

#include "core/ring_block.h"
#include "core/zeroed_block.h"

// The per-period counts of a run. It knows how many entries it holds: every store and read is
// bounded by that, whatever `iteration`, `repeat` or `scrollwidth` say. Absent when its
// allocation failed (or before the first run): then it holds no entries.
//
// A period costs the same however long the history is:
// - It keeps a running sum: the exact sum of its first few entries (whose low 32 bits are the
//   32-bit sum the mean takes), kept up to date by every store. A sum of the first n entries is
//   taken from it by adding or taking away the entries between, so the counts a run asks for
//   (the entries stored so far, the forever window and the window less its newest entry) cost a
//   step or two.
// - A history of up to the largest scroll width lives in a ring mapped twice back to back
//   (RingBlock): forever mode's scroll moves the ring's start by one entry instead of moving
//   every entry, and the entries still read as one array, oldest first. Where the system cannot
//   make the ring, or the window is shorter than the history, the entries are moved as before.
class CountHistory {
 public:
  CountHistory() = default;
  CountHistory(CountHistory&& other) noexcept;
  CountHistory& operator=(CountHistory&& other) noexcept;
  CountHistory(const CountHistory&) = delete;
  CountHistory& operator=(const CountHistory&) = delete;

  // A history of `entries` zero counts; absent when the byte size exceeds `limit` or cannot be
  // mapped. The byte size is computed in 64 bits. `may_ring` false keeps it out of a ring (for
  // tests of the other way of scrolling).
  static CountHistory Allocate(uint64_t entries, uint64_t limit = UINT64_MAX, bool may_ring = true);

  bool present() const { return present_; }
  uint64_t size() const { return size_; }
  // Whether forever mode scrolls it by moving the ring's start.
  bool ring() const { return ring_.present(); }

  // The first min(n, size()) entries, oldest first.
  std::span<const uint32_t> First(uint64_t n) const;
  std::span<const uint32_t> entries() const;

  // Stores at `index` when it exists; returns false (and stores nothing) otherwise.
  bool Store(uint64_t index, uint32_t counts);

  // Forever mode's store: the first `window` entries (those that exist) move down by one, the
  // oldest of them drops out and `counts` becomes the last of them.
  void Scroll(uint64_t window, uint32_t counts);

  // The sum of the first min(n, size()) entries, in unsigned 32-bit arithmetic (as the mean
  // takes it), and exactly.
  uint32_t Sum(uint64_t n) const;
  uint64_t TotalOf(uint64_t n) const;

 private:
  uint32_t* Base() const;
  void Release();
  // Makes the running sum cover the first n entries (n at most size()).
  void SumTo(uint64_t n);

  ZeroedBlock flat_;
  RingBlock ring_;
  uint64_t capacity_ = 0;  // entries of one copy of the ring
  uint64_t start_ = 0;     // the ring's entry that is entry 0
  uint64_t size_ = 0;
  bool present_ = false;
  uint64_t written_ = 0;  // entries [written_, size_) were never written: they are zero
  uint64_t summed_ = 0;   // the running sum covers entries [0, summed_)
  uint64_t sum_ = 0;
};
