// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstddef>
#include <cstdint>

// Pulses in single-channel 8-bit samples: the pairs of consecutive samples whose difference is
// greater than `threshold`. Fewer than two samples give 0.
int32_t CountPulses(const uint8_t* data, size_t length, uint32_t threshold);

// Coincident pulses in interleaved two-channel frames: frames in which both channels jump by more
// than `threshold` against the frame before. Only whole frames are examined, so an odd last byte
// is never read.
int32_t CountCoincidences(const uint8_t* data, size_t length, uint32_t threshold);

// The kernels behind the two detectors, exposed so tests can hold each against the plain loop.
namespace detect_kernels {
uint64_t PulsesPlain(const uint8_t* data, size_t length, uint32_t threshold);
uint64_t CoincidencesPlain(const uint8_t* data, size_t length, uint32_t threshold);
uint64_t PulsesSse2(const uint8_t* data, size_t length, uint32_t threshold);
uint64_t CoincidencesSse2(const uint8_t* data, size_t length, uint32_t threshold);
uint64_t PulsesAvx2(const uint8_t* data, size_t length, uint32_t threshold);
uint64_t CoincidencesAvx2(const uint8_t* data, size_t length, uint32_t threshold);
uint64_t PulsesAvx512(const uint8_t* data, size_t length, uint32_t threshold);
uint64_t CoincidencesAvx512(const uint8_t* data, size_t length, uint32_t threshold);
bool HaveAvx2();
// AVX-512BW with its registers enabled by the system.
bool HaveAvx512();
}  // namespace detect_kernels
