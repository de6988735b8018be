// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstddef>
#include <cstdint>

// Memory mapped twice, back to back: byte i and byte i + size() are the same byte. So a span of
// up to size() bytes that starts anywhere in the first copy is contiguous, and a ring over the
// block can be read as one array whatever its start. Zero-filled; pages are committed when first
// touched. Move-only; an empty block (the system refused the mapping) has no data and size 0.
class RingBlock {
 public:
  RingBlock() = default;
  ~RingBlock();
  RingBlock(RingBlock&& other) noexcept;
  RingBlock& operator=(RingBlock&& other) noexcept;
  RingBlock(const RingBlock&) = delete;
  RingBlock& operator=(const RingBlock&) = delete;

  // At least `bytes` (at least one), rounded up to whole pages; empty when the system cannot
  // make the two mappings.
  static RingBlock Allocate(uint64_t bytes);

  bool present() const { return data_ != nullptr; }
  // The bytes of one copy.
  uint64_t size() const { return size_; }
  // The first copy; the second follows it at data() + size().
  std::byte* data() const { return data_; }

 private:
  void Release();

  std::byte* data_ = nullptr;
  uint64_t size_ = 0;
};
