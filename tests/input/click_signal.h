// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Test audio for the capture: unsigned 8-bit click trains whose count per period does not
// depend on where in the stream a period begins.
//
// Every click is one step up by `kClickJump` that then decays by one per sample, so with the
// default threshold (100) it counts exactly once; the sub-threshold pulses step by
// `kQuietJump` and never count. With `clicks_per_second` dividing 11025, any 11025 consecutive
// frames hold exactly that many clicks: a period counts that many, or one fewer when a click
// falls on its first frame (no sample before it to jump from).
inline constexpr int kBaseline = 60;
inline constexpr int kClickJump = 140;
inline constexpr int kQuietJump = 90;

// One channel: per spacing, a click and, half a spacing later, a sub-threshold pulse.
// `first_frame` is where in the endless train the samples begin (0: on a click).
std::vector<uint8_t> MonoClicks(uint32_t frames, uint32_t clicks_per_second,
                                uint32_t first_frame = 0);

// Two interleaved channels: per spacing, a click in both channels (the coincidence), a click in
// the first channel alone, a sub-threshold pulse in both, and a click in the second alone.
std::vector<uint8_t> CoincidentClicks(uint32_t frames, uint32_t clicks_per_second,
                                      uint32_t first_frame = 0);

// Writes `samples`, `repeats` times over, to `dir`/capture.raw and an ALSA configuration
// `dir`/asound.conf whose default device captures from that file (ALSA's file plugin over the
// null device); returns the configuration's path, for ALSA_CONFIG_PATH. A whole second of a
// click train repeats seamlessly.
std::string WriteFileCaptureConfig(const std::string& dir, const std::vector<uint8_t>& samples,
                                   uint32_t repeats = 1);
