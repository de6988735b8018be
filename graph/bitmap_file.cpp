// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "graph/bitmap_file.h"

#include <array>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "files/atomic_file.h"
#include "graph/encoder.h"

namespace {

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;

// The sixteen colours of a 4-bit display, 0xRRGGBB, in their usual order.
constexpr std::array<uint32_t, 16> kSixteenColours = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

// Our fixed palettes: black and white; the sixteen colours; the sixteen colours, a 6 x 6 x 6
// colour cube and 24 greys between the cube's greys.
std::vector<uint32_t> PaletteFor(int bits) {
  switch (bits) {
    case 1:
      return {0x000000, 0xFFFFFF};
    case 4:
      return {kSixteenColours.begin(), kSixteenColours.end()};
    case 8: {
      std::vector<uint32_t> palette(kSixteenColours.begin(), kSixteenColours.end());
      for (uint32_t r = 0; r < 6; ++r) {
        for (uint32_t g = 0; g < 6; ++g) {
          for (uint32_t b = 0; b < 6; ++b)
            palette.push_back((r * 51) << 16 | (g * 51) << 8 | b * 51);
        }
      }
      for (uint32_t grey = 8; palette.size() < 256; grey += 10) {
        palette.push_back(grey << 16 | grey << 8 | grey);
      }
      return palette;
    }
    default:
      return {};
  }
}

// Maps colours to the nearest palette entry. A graph has few colours, in long runs, so the last
// answer and a cache make the search rare.
class NearestColour {
 public:
  explicit NearestColour(const std::vector<uint32_t>& palette) : palette_(palette) {}

  uint8_t IndexOf(uint32_t rgb) {
    if (rgb == last_rgb_) return last_index_;
    auto [slot, added] = cache_.try_emplace(rgb, 0);
    if (added) slot->second = Search(rgb);
    last_rgb_ = rgb;
    last_index_ = slot->second;
    return last_index_;
  }

 private:
  uint8_t Search(uint32_t rgb) const {
    const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    int best = 0;
    int best_distance = INT32_MAX;
    for (size_t i = 0; i < palette_.size(); ++i) {
      const int dr = r - static_cast<int>((palette_[i] >> 16) & 0xFF);
      const int dg = g - static_cast<int>((palette_[i] >> 8) & 0xFF);
      const int db = b - static_cast<int>(palette_[i] & 0xFF);
      const int distance = dr * dr + dg * dg + db * db;
      if (distance < best_distance) {
        best_distance = distance;
        best = static_cast<int>(i);
      }
    }
    return static_cast<uint8_t>(best);
  }

  const std::vector<uint32_t>& palette_;
  std::unordered_map<uint32_t, uint8_t> cache_;
  uint32_t last_rgb_ = 0xFFFFFFFF;  // no 24-bit colour
  uint8_t last_index_ = 0;
};

void Put16(std::string& out, size_t at, uint16_t value) {
  out[at] = static_cast<char>(value & 0xFF);
  out[at + 1] = static_cast<char>(value >> 8);
}

void Put32(std::string& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

int BitmapBitsForDepth(int display_depth) {
  if (display_depth <= 1) return 1;
  if (display_depth <= 4) return 4;
  if (display_depth <= 8) return 8;
  return 24;
}

std::string EncodeBitmap(const PixelView& picture, int display_depth) {
  if (picture.pixels == nullptr || picture.width <= 0 || picture.height <= 0 ||
      picture.stride < static_cast<size_t>(picture.width)) {
    return {};
  }
  const int bits = BitmapBitsForDepth(display_depth);
  const std::vector<uint32_t> palette = PaletteFor(bits);
  const uint64_t width = static_cast<uint64_t>(picture.width);
  const uint64_t height = static_cast<uint64_t>(picture.height);
  const uint64_t row_bytes = ((bits * width + 31) / 32) * 4;
  const uint64_t table_bytes = palette.size() * 4;
  const uint64_t file_bytes =
      kFileHeaderBytes + kInfoHeaderBytes + table_bytes + row_bytes * height;
  if (file_bytes > UINT32_MAX) return {};  // bfSize has 32 bits

  std::string out(static_cast<size_t>(file_bytes), '\0');
  out[0] = 'B';
  out[1] = 'M';
  Put32(out, 2, static_cast<uint32_t>(file_bytes));
  Put32(out, 10, static_cast<uint32_t>(kFileHeaderBytes + kInfoHeaderBytes + table_bytes));
  Put32(out, 14, kInfoHeaderBytes);
  Put32(out, 18, static_cast<uint32_t>(picture.width));
  Put32(out, 22, static_cast<uint32_t>(picture.height));  // positive: bottom row first
  Put16(out, 26, 1);
  Put16(out, 28, static_cast<uint16_t>(bits));
  // Compression, image size, resolution and colour counts stay 0.

  size_t at = kFileHeaderBytes + kInfoHeaderBytes;
  for (uint32_t rgb : palette) {
    out[at++] = static_cast<char>(rgb & 0xFF);
    out[at++] = static_cast<char>((rgb >> 8) & 0xFF);
    out[at++] = static_cast<char>((rgb >> 16) & 0xFF);
    out[at++] = 0;
  }

  NearestColour nearest(palette);
  for (uint64_t row = 0; row < height; ++row) {
    const uint32_t* source = picture.pixels + (height - 1 - row) * picture.stride;
    auto* dest = reinterpret_cast<unsigned char*>(out.data() + at + row * row_bytes);
    for (uint64_t x = 0; x < width; ++x) {
      const uint32_t rgb = source[x] & 0xFFFFFF;
      switch (bits) {
        case 24:
          dest[3 * x] = rgb & 0xFF;
          dest[3 * x + 1] = (rgb >> 8) & 0xFF;
          dest[3 * x + 2] = (rgb >> 16) & 0xFF;
          break;
        case 8:
          dest[x] = nearest.IndexOf(rgb);
          break;
        case 4:
          dest[x / 2] |= static_cast<unsigned char>(nearest.IndexOf(rgb) << (x % 2 == 0 ? 4 : 0));
          break;
        default:  // 1: the leftmost pixel in the highest bit
          dest[x / 8] |= static_cast<unsigned char>(nearest.IndexOf(rgb) << (7 - x % 8));
          break;
      }
    }
  }
  return out;
}

int WriteBitmapFile(const PixelView& picture, const std::string& file_name, int display_depth) {
  const std::string bytes = EncodeBitmap(picture, display_depth);
  if (bytes.empty()) return 0;
  // The picture is rewritten at every repaint and can always be drawn again: the rename keeps
  // an encoder that still reads the previous file from seeing a half-written one, and no flush
  // to the disk is worth its cost here.
  return WriteFileAtomically(file_name, bytes, AtomicFile::Durability::kFast) ? 1 : 0;
}

void ExportGraph(const CounterState& state, const PixelView& picture, int display_depth) {
  // The encoder runs even when the file could not be written: it converts the previous one.
  WriteBitmapFile(picture, state.bmp_file_name, display_depth);
  StartJpegEncoder(state.bmp_file_name, state.jpg_file_name);
}
