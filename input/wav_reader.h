// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "core/zeroed_block.h"

// Parses and reads an open WAV file positioned at its start. The header test is small: byte 8
// must be 'W', byte 11 'E', the channel count's low byte 0 or 1 and the block alignment's low
// byte 1; the rest is taken on trust. The sample bytes are taken from offset 36 on, and their
// number n is the RIFF chunk size at offset 4, which is reported through `n`.
//
// Returns the sample bytes, or an absent block when the file is shorter than its 36-byte header,
// fails the test, or n exceeds `allocation_limit`. The block holds the bytes the file really
// supplies, at most n: a file that claims more than it holds costs only what it holds. The
// caller owns the block.
ZeroedBlock ReadWaveFile(int fd, uint32_t* n, uint64_t allocation_limit = UINT64_MAX);

// The header and its test on their own: the number of sample bytes n, or nothing when the
// header is refused.
inline constexpr size_t kWavHeaderBytes = 36;
std::optional<uint32_t> ParseWavHeader(std::span<const unsigned char, kWavHeaderBytes> header);

// Reads until `length` bytes are in, the file ends or a read fails; returns how many arrived.
size_t ReadFully(int fd, std::byte* into, size_t length);
