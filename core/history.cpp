// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/history.h"

#include <algorithm>

CountHistory CountHistory::Allocate(uint64_t entries, uint64_t limit) {
  CountHistory history;
  if (entries > UINT64_MAX / sizeof(uint32_t)) return history;
  history.block_ = ZeroedBlock::Allocate(entries * sizeof(uint32_t), limit);
  history.size_ = history.block_.present() ? entries : 0;
  return history;
}

std::span<uint32_t> CountHistory::entries() {
  if (size_ == 0) return {};
  return {reinterpret_cast<uint32_t*>(block_.data()), static_cast<size_t>(size_)};
}

std::span<const uint32_t> CountHistory::entries() const {
  if (size_ == 0) return {};
  return {reinterpret_cast<const uint32_t*>(block_.data()), static_cast<size_t>(size_)};
}

std::span<const uint32_t> CountHistory::First(uint64_t n) const {
  return entries().first(static_cast<size_t>(std::min(n, size_)));
}

bool CountHistory::Store(uint64_t index, uint32_t counts) {
  if (index >= size_) return false;
  entries()[static_cast<size_t>(index)] = counts;
  return true;
}
