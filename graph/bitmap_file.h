// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/counter_state.h"

// A picture in memory: 32-bit pixels 0xffRRGGBB (Qt's RGB32), rows top first, `stride` pixels
// apart. The caller owns the pixels.
struct PixelView {
  const uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  size_t stride = 0;
};

// Writes the picture as an uncompressed BMP of 1, 4, 8 or 24 bits per pixel, chosen from the
// display depth as the graph does (above 8 gives 24). Written to a temporary file and renamed
// into place. Returns 1 when written, 0 when the file could not be created (or the picture is
// empty or too large for a BMP, or the write failed: the old file then stays as it was).
int WriteBitmapFile(const PixelView& picture, const std::string& file_name, int display_depth);

// Writes `bmp_file_name`, then starts the JPEG encoder on it without waiting.
void ExportGraph(const CounterState& state, const PixelView& picture, int display_depth);

// The BMP bytes that WriteBitmapFile writes; empty for an empty picture or one too large.
std::string EncodeBitmap(const PixelView& picture, int display_depth);

// Bits per pixel for a display depth: 1, 4, 8 or 24.
int BitmapBitsForDepth(int display_depth);
