// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Test recordings of a survey meter's clicks: unsigned 8-bit samples, silence at 128.
//
// A click rises in one step by `height` and falls back in steps of at most `fall_step`, so at a
// threshold between `fall_step` and `height` every click counts exactly once.
struct ClickShape {
  uint8_t height = 122;    // 128 -> 250: one jump of 122, above the default threshold of 100
  uint8_t fall_step = 25;  // the decay back to silence never jumps by more than this
};

// Frames of the click shape, starting with the rise: the number of samples one click takes.
uint32_t ClickFrames(const ClickShape& shape = {});

// `count` click positions spread evenly over `frames` frames, each with room for a whole click
// and with a quiet margin at both ends of the recording.
std::vector<uint64_t> EvenClickPositions(uint64_t frames, uint32_t count,
                                         const ClickShape& shape = {});

// One channel of `frames` samples of silence with a click starting at each position.
std::vector<uint8_t> RenderClicks(uint64_t frames, const std::vector<uint64_t>& positions,
                                  const ClickShape& shape = {});

// Two channels interleaved frame by frame, first channel first.
std::vector<uint8_t> Interleave(const std::vector<uint8_t>& first,
                                const std::vector<uint8_t>& second);

// A canonical 44-byte WAV header (RIFF, a 16-byte PCM format chunk, a data chunk) and the
// samples: 8 bits, `channels` channels at `sample_rate`.
std::vector<uint8_t> CanonicalWav(const std::vector<uint8_t>& samples, uint32_t sample_rate = 11025,
                                  uint16_t channels = 1);

// Writes the bytes to `path`; false when that fails.
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
