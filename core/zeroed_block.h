// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstddef>
#include <cstdint>

// Zero-filled memory whose pages are committed only when first written, so a history of
// 4294967295 entries or a capture buffer of a long period costs nothing until it is used.
// Move-only; an empty block (allocation refused or failed) has no data and size 0.
class ZeroedBlock {
 public:
  ZeroedBlock() = default;
  ~ZeroedBlock();
  ZeroedBlock(ZeroedBlock&& other) noexcept;
  ZeroedBlock& operator=(ZeroedBlock&& other) noexcept;
  ZeroedBlock(const ZeroedBlock&) = delete;
  ZeroedBlock& operator=(const ZeroedBlock&) = delete;

  // Returns an empty block when `bytes` exceeds `limit` or the system refuses the mapping.
  // A request of 0 bytes gives a present block of size 0.
  static ZeroedBlock Allocate(uint64_t bytes, uint64_t limit = UINT64_MAX);

  bool present() const { return present_; }
  uint64_t size() const { return size_; }
  std::byte* data() { return data_; }
  const std::byte* data() const { return data_; }

 private:
  void Release();

  std::byte* data_ = nullptr;
  uint64_t size_ = 0;
  uint64_t mapped_ = 0;
  bool present_ = false;
};
