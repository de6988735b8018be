// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/ring_block.h"

#include <sys/mman.h>
#include <unistd.h>

#include <utility>

RingBlock::~RingBlock() { Release(); }

RingBlock::RingBlock(RingBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

RingBlock& RingBlock::operator=(RingBlock&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

RingBlock RingBlock::Allocate(uint64_t bytes) {
  RingBlock block;
  const long page = sysconf(_SC_PAGESIZE);
  if (page <= 0 || bytes > SIZE_MAX / 4) return block;
  const uint64_t page_bytes = static_cast<uint64_t>(page);
  const uint64_t size = (bytes == 0 ? 1 : (bytes + page_bytes - 1) / page_bytes) * page_bytes;

  // One file of memory, mapped at two neighbouring places in a reservation of twice its size.
  const int fd = memfd_create("blipcount-ring", MFD_CLOEXEC);
  if (fd < 0) return block;
  void* base = MAP_FAILED;
  if (ftruncate(fd, static_cast<off_t>(size)) == 0) {
    base = mmap(nullptr, 2 * size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  }
  bool mapped = base != MAP_FAILED;
  for (uint64_t copy = 0; mapped && copy < 2; ++copy) {
    void* at = static_cast<std::byte*>(base) + copy * size;
    mapped = mmap(at, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, 0) == at;
  }
  close(fd);  // the mappings keep the memory; nothing is lost if this fails
  if (!mapped) {
    if (base != MAP_FAILED) munmap(base, 2 * size);
    return block;
  }
  block.data_ = static_cast<std::byte*>(base);
  block.size_ = size;
  return block;
}

void RingBlock::Release() {
  if (data_ != nullptr) munmap(data_, 2 * size_);
  data_ = nullptr;
  size_ = 0;
}
