// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/zeroed_block.h"

#include <sys/mman.h>

#include <utility>

ZeroedBlock::~ZeroedBlock() { Release(); }

ZeroedBlock::ZeroedBlock(ZeroedBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)),
      present_(std::exchange(other.present_, false)) {}

ZeroedBlock& ZeroedBlock::operator=(ZeroedBlock&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, 0);
    present_ = std::exchange(other.present_, false);
  }
  return *this;
}

ZeroedBlock ZeroedBlock::Allocate(uint64_t bytes, uint64_t limit) {
  ZeroedBlock block;
  if (bytes > limit || bytes > SIZE_MAX / 2) return block;
  block.present_ = true;
  if (bytes == 0) return block;
  // Anonymous mappings are zero pages until written; MAP_NORESERVE keeps a huge, mostly unused
  // history from being refused up front.
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) {
    block.present_ = false;
    return block;
  }
  block.data_ = static_cast<std::byte*>(p);
  block.size_ = bytes;
  block.mapped_ = bytes;
  return block;
}

void ZeroedBlock::Release() {
  if (data_ != nullptr) munmap(data_, mapped_);
  data_ = nullptr;
  size_ = 0;
  mapped_ = 0;
  present_ = false;
}
