// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "graph/bitmap_file.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

uint32_t Field32(const std::string& bmp, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bmp[at + i]);
  return value;
}

uint32_t Field16(const std::string& bmp, size_t at) {
  return static_cast<unsigned char>(bmp[at]) | static_cast<unsigned char>(bmp[at + 1]) << 8;
}

struct Picture {
  Picture(int w, int h, uint32_t fill = 0xff000000)
      : pixels(size_t(w) * h, fill), width(w), height(h) {}
  PixelView View() const { return {pixels.data(), width, height, size_t(width)}; }
  uint32_t& At(int x, int y) { return pixels[size_t(y) * width + x]; }
  std::vector<uint32_t> pixels;
  int width, height;
};

class BitmapFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string bmp = dir.File("blipcount.bmp");
};

TEST_F(BitmapFileTest, HeadersFollowTheDisplayDepth) {
  struct Case {
    int depth, bits;
    uint32_t table_bytes, row_bytes;
  };
  // 430 x 155, as the graph window is by default.
  const std::vector<Case> cases = {
      {32, 24, 0, 1292}, {24, 24, 0, 1292}, {16, 24, 0, 1292}, {8, 8, 1024, 432}, {5, 8, 1024, 432},
      {4, 4, 64, 216},   {2, 4, 64, 216},   {1, 1, 8, 56},     {0, 1, 8, 56},
  };
  Picture picture(430, 155, 0xff336699);
  for (const Case& c : cases) {
    ASSERT_EQ(WriteBitmapFile(picture.View(), bmp, c.depth), 1) << c.depth;
    const std::string file = ReadText(bmp);
    const uint32_t size = 54 + c.table_bytes + c.row_bytes * 155;
    ASSERT_EQ(file.size(), size) << c.depth;
    EXPECT_EQ(file.substr(0, 2), "BM");
    EXPECT_EQ(Field32(file, 2), size) << c.depth;
    EXPECT_EQ(Field32(file, 6), 0u);  // both reserved fields
    EXPECT_EQ(Field32(file, 10), 54 + c.table_bytes) << c.depth;
    EXPECT_EQ(Field32(file, 14), 40u);
    EXPECT_EQ(Field32(file, 18), 430u);
    EXPECT_EQ(Field32(file, 22), 155u);
    EXPECT_EQ(Field16(file, 26), 1u);
    EXPECT_EQ(Field16(file, 28), static_cast<uint32_t>(c.bits)) << c.depth;
    for (size_t at = 30; at < 54; at += 4) EXPECT_EQ(Field32(file, at), 0u) << at;
  }
  // The two figures the graph is known by.
  ASSERT_EQ(WriteBitmapFile(picture.View(), bmp, 32), 1);
  EXPECT_EQ(Field32(ReadText(bmp), 2), 200314u);
  ASSERT_EQ(WriteBitmapFile(picture.View(), bmp, 8), 1);
  EXPECT_EQ(Field32(ReadText(bmp), 2), 68038u);
  EXPECT_EQ(Field32(ReadText(bmp), 10), 1078u);
}

TEST_F(BitmapFileTest, TrueColourRowsAreBlueGreenRedBottomFirstAndPadded) {
  Picture picture(2, 2);
  picture.At(0, 0) = 0xffff0000;  // red, top left
  picture.At(1, 0) = 0xff00ff00;  // green
  picture.At(0, 1) = 0xff0000ff;  // blue, bottom left
  picture.At(1, 1) = 0xffffffff;
  ASSERT_EQ(WriteBitmapFile(picture.View(), bmp, 24), 1);
  const std::string file = ReadText(bmp);
  EXPECT_EQ(file.substr(54), std::string("\xff\x00\x00\xff\xff\xff\x00\x00"
                                         "\x00\x00\xff\x00\xff\x00\x00\x00",
                                         16));

  Picture column(1, 3, 0xff102030);
  ASSERT_EQ(WriteBitmapFile(column.View(), bmp, 24), 1);
  EXPECT_EQ(ReadText(bmp).substr(54),
            std::string("\x30\x20\x10\x00\x30\x20\x10\x00\x30\x20\x10\x00", 12));
}

TEST_F(BitmapFileTest, PalettedPixelsTakeTheNearestColourOfTheTable) {
  Picture picture(9, 1);
  const uint32_t colours[9] = {0xff000000, 0xffffffff, 0xffff0000, 0xff00ff00, 0xff0000ff,
                               0xff202020, 0xffe0e0e0, 0xff808080, 0xffc0c0c0};
  for (int x = 0; x < 9; ++x) picture.At(x, 0) = colours[x];

  // Black and white; the sixteen colours; the sixteen, a colour cube and greys 8, 18 ... 238.
  const std::map<int, std::vector<uint32_t>> expected = {
      {1, {0, 0xffffff, 0, 0, 0, 0, 0xffffff, 0xffffff, 0xffffff}},
      {4, {0, 0xffffff, 0xff0000, 0x00ff00, 0x0000ff, 0, 0xffffff, 0x808080, 0xc0c0c0}},
      {8, {0, 0xffffff, 0xff0000, 0x00ff00, 0x0000ff, 0x1c1c1c, 0xe4e4e4, 0x808080, 0xc0c0c0}},
  };
  for (int depth : {1, 4, 8}) {
    ASSERT_EQ(WriteBitmapFile(picture.View(), bmp, depth), 1);
    const std::string file = ReadText(bmp);
    const size_t table = 54, pixels = Field32(file, 10);
    auto index_of = [&](int x) -> unsigned {
      const auto byte = static_cast<unsigned char>(file[pixels + x * depth / 8]);
      const int shift = 8 - depth - (x * depth) % 8;
      return (byte >> shift) & ((1u << depth) - 1);
    };
    auto colour_of = [&](unsigned index) {
      return Field32(file, table + 4 * index);  // 0x00RRGGBB: blue, green, red, 0
    };
    for (int x = 0; x < 9; ++x) {
      EXPECT_EQ(colour_of(index_of(x)), expected.at(depth)[x])
          << "depth " << depth << ", pixel " << x;
    }
  }
}

TEST_F(BitmapFileTest, StrideIsHonoured) {
  std::vector<uint32_t> pixels = {0xff0000ff, 0xffff0000, 0xff00ff00, 0xffffffff};
  const PixelView view{pixels.data(), 1, 2, 2};  // the first column of a 2 x 2 picture
  ASSERT_EQ(WriteBitmapFile(view, bmp, 24), 1);
  EXPECT_EQ(ReadText(bmp).substr(54), std::string("\x00\xff\x00\x00\xff\x00\x00\x00", 8));
}

TEST_F(BitmapFileTest, AnExistingFileIsReplaced) {
  WriteText(bmp, std::string(500000, 'x'));
  Picture picture(3, 3, 0xffffffff);
  ASSERT_EQ(WriteBitmapFile(picture.View(), bmp, 24), 1);
  EXPECT_EQ(ReadText(bmp).size(), 54u + 3 * 12);
}

TEST_F(BitmapFileTest, AFileThatCannotBeCreatedGivesZero) {
  Picture picture(3, 3);
  EXPECT_EQ(WriteBitmapFile(picture.View(), dir.File("missing/blipcount.bmp"), 24), 0);
  WriteText(dir.File("plain"), "x");
  EXPECT_EQ(WriteBitmapFile(picture.View(), dir.File("plain/blipcount.bmp"), 24), 0);
  // An empty picture is not written either, and leaves an older file as it was.
  WriteText(bmp, "old");
  EXPECT_EQ(WriteBitmapFile(PixelView{}, bmp, 24), 0);
  EXPECT_EQ(ReadText(bmp), "old");
}

}  // namespace
