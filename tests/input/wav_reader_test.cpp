// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "input/wav_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tools/click_gen.h"

namespace {

class WavReaderTest : public ::testing::Test {
 protected:
  // Reads `bytes` through a real file, as the command does.
  ZeroedBlock Read(const std::vector<uint8_t>& bytes, uint32_t* n, uint64_t limit = UINT64_MAX) {
    const std::string path = dir.File("input.wav");
    WriteBytes(path, bytes);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    ZeroedBlock block = ReadWaveFile(fd, n, limit);
    close(fd);
    return block;
  }

  TempDir dir;
};

std::vector<uint8_t> Silence(size_t bytes) { return std::vector<uint8_t>(bytes, 128); }

TEST_F(WavReaderTest, TakesTheBytesFromOffset36AndTheRiffSizeAsTheirNumber) {
  std::vector<uint8_t> samples = Silence(110250);
  samples[0] = 1;
  samples.back() = 2;
  const std::vector<uint8_t> file = CanonicalWav(samples);
  uint32_t n = 0;
  ZeroedBlock block = Read(file, &n);
  ASSERT_TRUE(block.present());
  EXPECT_EQ(n, 110286u);
  // The data chunk's tag and length come first; the file ends 28 bytes short of n.
  ASSERT_EQ(block.size(), 110258u);
  EXPECT_EQ(std::memcmp(block.data(), file.data() + 36, block.size()), 0);
  EXPECT_EQ(std::memcmp(block.data(), "data", 4), 0);
}

TEST_F(WavReaderTest, HeaderTestRefusesWhatIsNotEightBitMono) {
  struct Case {
    const char* name;
    size_t offset;
    uint8_t value;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {"canonical", 0, 'R', true},
      {"not RIFF at the start", 0, 'X', true},
      {"bytes 9 and 10 not AV", 9, 'x', true},
      {"byte 10 not V", 10, 'x', true},
      {"channel count 0", 22, 0, true},
      {"channel high byte ignored", 23, 7, true},
      {"byte 8 not W", 8, 'w', false},
      {"byte 11 not E", 11, 'e', false},
      {"two channels", 22, 2, false},
      {"16-bit: block alignment 2", 32, 2, false},
      {"block alignment 0", 32, 0, false},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> file = CanonicalWav(Silence(100));
    file[c.offset] = c.value;
    uint32_t n = 0;
    EXPECT_EQ(Read(file, &n).present(), c.accepted) << c.name;
  }
  // The real thing: 16-bit mono and 8-bit stereo as a recorder writes them.
  std::vector<uint8_t> sixteen_bit = CanonicalWav(Silence(100));
  sixteen_bit[32] = 2;
  sixteen_bit[34] = 16;
  uint32_t n = 0;
  EXPECT_FALSE(Read(sixteen_bit, &n).present());
  EXPECT_FALSE(Read(CanonicalWav(Silence(100), 11025, 2), &n).present());
}

TEST_F(WavReaderTest, FilesShorterThanTheHeaderAreRefused) {
  const std::vector<uint8_t> file = CanonicalWav(Silence(100));
  for (size_t length : {0, 1, 11, 12, 23, 35}) {
    uint32_t n = 0;
    EXPECT_FALSE(Read({file.begin(), file.begin() + static_cast<long>(length)}, &n).present())
        << length << " bytes";
  }
  uint32_t n = 0;
  ZeroedBlock header_only = Read({file.begin(), file.begin() + 36}, &n);
  ASSERT_TRUE(header_only.present());
  EXPECT_EQ(header_only.size(), 0u);
  EXPECT_EQ(n, 136u);
}

TEST_F(WavReaderTest, ARiffSizeBeyondTheFileCostsOnlyWhatTheFileHolds) {
  std::vector<uint8_t> file = CanonicalWav(Silence(56));
  ASSERT_EQ(file.size(), 100u);
  std::memset(file.data() + 4, 0xFF, 4);  // 4294967295 sample bytes claimed
  uint32_t n = 0;
  ZeroedBlock block = Read(file, &n);
  ASSERT_TRUE(block.present());
  EXPECT_EQ(n, 4294967295u);
  EXPECT_EQ(block.size(), 64u);
  EXPECT_EQ(std::memcmp(block.data(), file.data() + 36, 64), 0);

  // A RIFF size smaller than the content: only the first n bytes.
  std::vector<uint8_t> longer = CanonicalWav(Silence(1000));
  longer[4] = 10;
  longer[5] = longer[6] = longer[7] = 0;
  EXPECT_EQ(Read(longer, &n).size(), 10u);
}

TEST_F(WavReaderTest, AllocationLimitRefusesTheFile) {
  uint32_t n = 0;
  EXPECT_FALSE(Read(CanonicalWav(Silence(1000)), &n, 500).present());
  EXPECT_EQ(n, 1036u);
  EXPECT_TRUE(Read(CanonicalWav(Silence(1000)), &n, 1036).present());
}

TEST_F(WavReaderTest, ReadsAPipeAsFarAsItGoes) {
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  const std::vector<uint8_t> file = CanonicalWav(Silence(3000));
  ASSERT_EQ(write(pipe_fds[1], file.data(), file.size()), static_cast<ssize_t>(file.size()));
  close(pipe_fds[1]);
  uint32_t n = 0;
  ZeroedBlock block = ReadWaveFile(pipe_fds[0], &n);
  close(pipe_fds[0]);
  ASSERT_TRUE(block.present());
  EXPECT_EQ(n, 3036u);
  EXPECT_EQ(block.size(), 3008u);
}

}  // namespace
