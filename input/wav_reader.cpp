// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "input/wav_reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

uint32_t LittleEndian32(const unsigned char* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

// The bytes of a pipe or other stream whose length is not known up front, read in steps so that
// a claimed size never turns into one huge allocation.
ZeroedBlock ReadStream(int fd, uint64_t wanted, uint64_t limit) {
  std::vector<std::byte> bytes;
  constexpr size_t kStep = size_t{64} * 1024;
  while (bytes.size() < wanted) {
    const size_t before = bytes.size();
    const size_t step = static_cast<size_t>(std::min<uint64_t>(kStep, wanted - before));
    bytes.resize(before + step);
    const size_t got = ReadFully(fd, bytes.data() + before, step);
    bytes.resize(before + got);
    if (got < step) break;
  }
  ZeroedBlock block = ZeroedBlock::Allocate(bytes.size(), limit);
  if (block.present() && !bytes.empty()) std::memcpy(block.data(), bytes.data(), bytes.size());
  return block;
}

}  // namespace

size_t ReadFully(int fd, std::byte* into, size_t length) {
  size_t done = 0;
  while (done < length) {
    const ssize_t got = read(fd, into + done, length - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

std::optional<uint32_t> ParseWavHeader(std::span<const unsigned char, kWavHeaderBytes> header) {
  if (header[8] != 'W' || header[11] != 'E') return std::nullopt;
  if (header[22] > 1 || header[32] != 1) return std::nullopt;
  return LittleEndian32(header.data() + 4);
}

ZeroedBlock ReadWaveFile(int fd, uint32_t* n, uint64_t allocation_limit) {
  unsigned char header[kWavHeaderBytes];
  // A file shorter than its header would be judged by bytes it does not hold.
  if (ReadFully(fd, reinterpret_cast<std::byte*>(header), kWavHeaderBytes) < kWavHeaderBytes) {
    return {};
  }
  const std::optional<uint32_t> parsed = ParseWavHeader(header);
  if (!parsed) return {};
  const uint32_t sample_bytes = *parsed;
  if (n != nullptr) *n = sample_bytes;
  if (sample_bytes > allocation_limit) return {};

  struct stat info {};
  const off_t position = lseek(fd, 0, SEEK_CUR);
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || position < 0) {
    return ReadStream(fd, sample_bytes, allocation_limit);
  }
  const uint64_t remaining =
      info.st_size > position ? static_cast<uint64_t>(info.st_size - position) : 0;
  const uint64_t supplied = std::min<uint64_t>(sample_bytes, remaining);
  ZeroedBlock block = ZeroedBlock::Allocate(supplied, allocation_limit);
  if (!block.present() || supplied == 0) return block;
  const size_t got = ReadFully(fd, block.data(), static_cast<size_t>(supplied));
  // A file that shrank while it was read: what is missing repeats the last sample read, so no
  // jump that the recording does not hold is counted.
  const std::byte last = got > 0 ? block.data()[got - 1] : std::byte{128};
  std::fill(block.data() + got, block.data() + supplied, last);
  return block;
}
