// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/history.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/limits.h"

namespace {

// The sum of entries [begin, end): exact, as no history holds 2^32 entries.
uint64_t SumOf(const uint32_t* entries, uint64_t begin, uint64_t end) {
  uint64_t sum = 0;
  for (uint64_t i = begin; i < end; ++i) sum += entries[i];
  return sum;
}

}  // namespace

CountHistory::CountHistory(CountHistory&& other) noexcept { *this = std::move(other); }

CountHistory& CountHistory::operator=(CountHistory&& other) noexcept {
  if (this != &other) {
    flat_ = std::move(other.flat_);
    ring_ = std::move(other.ring_);
    capacity_ = std::exchange(other.capacity_, 0);
    start_ = std::exchange(other.start_, 0);
    size_ = std::exchange(other.size_, 0);
    present_ = std::exchange(other.present_, false);
    written_ = std::exchange(other.written_, 0);
    summed_ = std::exchange(other.summed_, 0);
    sum_ = std::exchange(other.sum_, 0);
  }
  return *this;
}

CountHistory CountHistory::Allocate(uint64_t entries, uint64_t limit, bool may_ring) {
  CountHistory history;
  if (entries > UINT64_MAX / sizeof(uint32_t)) return history;
  const uint64_t bytes = entries * sizeof(uint32_t);
  if (bytes > limit) return history;
  // Only a history that forever mode can scroll whole takes a ring: a larger one comes only from
  // a long normal run, and stays lazily committed memory of its own size.
  if (may_ring && entries > 0 && entries <= kScrollWidthRange.max) {
    history.ring_ = RingBlock::Allocate(bytes);
    history.capacity_ = history.ring_.size() / sizeof(uint32_t);
  }
  if (!history.ring_.present()) {
    history.flat_ = ZeroedBlock::Allocate(bytes, limit);
    if (!history.flat_.present()) return history;
  }
  history.present_ = true;
  history.size_ = entries;
  return history;
}

uint32_t* CountHistory::Base() const {
  std::byte* memory = ring_.present() ? ring_.data() : const_cast<std::byte*>(flat_.data());
  return reinterpret_cast<uint32_t*>(memory) + start_;
}

std::span<const uint32_t> CountHistory::entries() const {
  if (size_ == 0) return {};
  return {Base(), static_cast<size_t>(size_)};
}

std::span<const uint32_t> CountHistory::First(uint64_t n) const {
  return entries().first(static_cast<size_t>(std::min(n, size_)));
}

uint64_t CountHistory::TotalOf(uint64_t n) const {
  // Entries never written are zero and add nothing, so neither way reads them.
  const uint64_t end = std::min(n, written_);
  const uint64_t summed = std::min(summed_, written_);
  const uint32_t* entries = Base();
  // From the running sum, or afresh where that is the shorter way.
  if (end >= summed) return sum_ + SumOf(entries, summed, end);
  if (summed - end <= end) return sum_ - SumOf(entries, end, summed);
  return SumOf(entries, 0, end);
}

uint32_t CountHistory::Sum(uint64_t n) const {
  // The exact total's low 32 bits are the sum in 32-bit arithmetic.
  return static_cast<uint32_t>(TotalOf(n));
}

void CountHistory::SumTo(uint64_t n) {
  sum_ = TotalOf(n);
  summed_ = n;
}

bool CountHistory::Store(uint64_t index, uint32_t counts) {
  if (index >= size_) return false;
  // A run reads the entries stored so far next, so the running sum moves to cover this one.
  SumTo(index);
  Base()[index] = counts;
  written_ = std::max(written_, index + 1);
  sum_ += counts;
  summed_ = index + 1;
  return true;
}

void CountHistory::Scroll(uint64_t window, uint32_t counts) {
  window = std::min(window, size_);
  if (window == 0) return;
  SumTo(window);
  uint32_t* entries = Base();
  const uint32_t oldest = entries[0];
  if (ring_.present() && window == size_) {
    // The second copy of the ring follows the first, so the entries stay one array.
    start_ = (start_ + 1) % capacity_;
    Base()[size_ - 1] = counts;
  } else {
    std::memmove(entries, entries + 1, (window - 1) * sizeof(uint32_t));
    entries[window - 1] = counts;
  }
  written_ = std::max(written_, window);
  sum_ = sum_ + counts - oldest;  // the sum covered `oldest`, so this never goes below zero
}
