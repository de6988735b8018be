// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "input/wav_input.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/detect.h"
#include "earlier_run.h"
#include "support/fake_controls.h"
#include "support/temp_dir.h"
#include "tools/click_gen.h"

namespace {

constexpr uint32_t kTenSeconds = 110250;

class ReadWavFileCommandTest : public ::testing::Test {
 protected:
  ReadWavFileCommandTest() { window.Attach(state); }

  std::string Write(const std::vector<uint8_t>& bytes) {
    WriteBytes(path, bytes);
    return path;
  }

  std::string ReadingLine() const { return "Reading WAV File \"" + path + "\""; }

  // Puts the state into the shape of an earlier run, to see what a refused file leaves alone.
  void EarlierRun() { PutEarlierRun(state); }

  void ExpectEarlierRunKept() {
    ExpectEarlierRun(state);
    EXPECT_EQ(window.repeat.Text(), "");
    EXPECT_EQ(window.sampletime.Text(), "");
  }

  CounterState state;
  FakeWindow window;
  TempDir dir;
  std::string path = dir.File("audio.wav");
};

// Twenty clicks spread over ten seconds, and one more among the last eight samples, which the
// period never reaches: from offset 36 it takes the data chunk's tag and length and then all
// samples but the last eight.
std::vector<uint8_t> TenSecondsOfClicks() {
  std::vector<uint64_t> positions = EvenClickPositions(kTenSeconds - 100, 20);
  positions.push_back(kTenSeconds - 7);
  return CanonicalWav(RenderClicks(kTenSeconds, positions));
}

TEST_F(ReadWavFileCommandTest, TenSecondFileIsOnePeriodOfTenSeconds) {
  state.graph_open = true;
  FakeRepaint graph;
  state.graphdlg = &graph;
  ReadWavFileCommand(state, Write(TenSecondsOfClicks()), false);

  // 20 clicks, and two jumps in the data chunk's length (0xAE to 0x01, and 0x00 to the first
  // sample's 128).
  ASSERT_EQ(state.history.size(), 1u);
  EXPECT_EQ(state.history.entries()[0], 22u);
  EXPECT_EQ(state.sampletime, 10u);
  EXPECT_EQ(state.repeat, 1u);
  EXPECT_EQ(state.iteration, 1u);
  EXPECT_EQ(window.repeat.Text(), "1");
  EXPECT_EQ(window.sampletime.Text(), "10");
  EXPECT_EQ(window.counts.Text(), "22");
  EXPECT_EQ(graph.repaints, 1);
  EXPECT_EQ(
      window.log.lines,
      (std::vector<std::string>{
          ReadingLine(), "#1   Counts=22    CPM=132   mR/hr=0.220   Ave: CPM=132.00 (0.220 mR/hr)",
          "   95% confidence interval on 22 counts 76.84 to 187.16 CPM"}));
}

TEST_F(ReadWavFileCommandTest, CoincidenceModeAnalysesTheMonoFileAsOneChannel) {
  state.coincidence = 1;
  ReadWavFileCommand(state, Write(TenSecondsOfClicks()), false);
  ASSERT_EQ(state.history.size(), 1u);
  EXPECT_EQ(state.history.entries()[0], 22u);
  EXPECT_EQ(state.sampletime, 10u);
}

TEST_F(ReadWavFileCommandTest, MissingBytesAddNoFalsePulse) {
  // The header claims one second; the file stops after 500 samples on a high level.
  std::vector<uint8_t> samples(500, 128);
  samples.back() = 250;
  std::vector<uint8_t> file = CanonicalWav(samples);
  const uint32_t claimed = 11025 + 8;
  std::memcpy(file.data() + 4, &claimed, 4);
  ReadWavFileCommand(state, Write(file), false);

  const uint32_t supplied = CountPulses(file.data() + 36, file.size() - 36, 100);
  std::vector<uint8_t> zero_filled(file.begin() + 36, file.end());
  zero_filled.push_back(0);
  ASSERT_NE(CountPulses(zero_filled.data(), zero_filled.size(), 100), supplied);
  EXPECT_EQ(state.sampletime, 1u);
  ASSERT_EQ(state.history.size(), 1u);
  EXPECT_EQ(state.history.entries()[0], supplied);
}

TEST_F(ReadWavFileCommandTest, HugeClaimedSizeIsReadAsFarAsTheFileGoes) {
  std::vector<uint8_t> file = CanonicalWav(std::vector<uint8_t>(56, 128));
  std::memset(file.data() + 4, 0xFF, 4);
  ReadWavFileCommand(state, Write(file), false);
  EXPECT_EQ(state.sampletime, 4294967295u / 11025);
  EXPECT_EQ(window.sampletime.Text(), "389566");
  // Counted as it was read: nothing of the file is kept.
  EXPECT_FALSE(state.sample_buffer.present());
  ASSERT_EQ(state.history.size(), 1u);
  EXPECT_EQ(state.iteration, 1u);
}

TEST_F(ReadWavFileCommandTest, RefusedHeaderLeavesNoSampleBufferAndTheRunAsItWas) {
  EarlierRun();
  std::vector<uint8_t> stereo = CanonicalWav(std::vector<uint8_t>(30000, 128), 11025, 2);
  ReadWavFileCommand(state, Write(stereo), false);
  EXPECT_EQ(window.log.lines, (std::vector<std::string>{ReadingLine(), kWavParseError}));
  EXPECT_FALSE(state.sample_buffer.present());
  ExpectEarlierRunKept();

  // The same for a file too short to hold a header, and for a buffer that may not be allocated.
  for (const std::vector<uint8_t>& file :
       {std::vector<uint8_t>(20, 'W'), CanonicalWav(std::vector<uint8_t>(30000, 128))}) {
    window.log.lines.clear();
    state.allocation_limit = 1000;
    ReadWavFileCommand(state, Write(file), false);
    EXPECT_EQ(window.log.lines, (std::vector<std::string>{ReadingLine(), kWavParseError}));
    ExpectEarlierRunKept();
  }
}

TEST_F(ReadWavFileCommandTest, LessThanOneSecondChangesNothing) {
  EarlierRun();
  ReadWavFileCommand(state, Write(CanonicalWav(std::vector<uint8_t>(11025 - 37, 128))), false);
  EXPECT_EQ(window.log.lines, (std::vector<std::string>{ReadingLine(), kWavTooShort}));
  ExpectEarlierRunKept();
  EXPECT_EQ(state.sample_buffer.size(), 4u);

  // 11025 - 36 samples make n exactly one second.
  ReadWavFileCommand(state, Write(CanonicalWav(std::vector<uint8_t>(11025 - 36, 128))), false);
  EXPECT_EQ(state.sampletime, 1u);
}

TEST_F(ReadWavFileCommandTest, UnopenableFileLogsOnlyTheReadingLine) {
  EarlierRun();
  ReadWavFileCommand(state, path, false);
  EXPECT_EQ(window.log.lines, std::vector<std::string>{ReadingLine()});
  ExpectEarlierRunKept();
  EXPECT_EQ(state.sample_buffer.size(), 4u);
}

TEST_F(ReadWavFileCommandTest, RefusedWhileALiveRunCaptures) {
  EarlierRun();
  ReadWavFileCommand(state, Write(TenSecondsOfClicks()), true);
  EXPECT_EQ(window.log.lines, std::vector<std::string>{kWavWhileCapturing});
  ExpectEarlierRunKept();
  EXPECT_EQ(state.sample_buffer.size(), 4u);
}

TEST(ShippedSample, TenSecondsAtNineClicksPerSecondCounts92) {
  const std::string shipped = std::string(BLIPCOUNT_SAMPLES_DIR) + "/clicks-10s-9cps.wav";
  // The file is what the generator makes: 90 clicks over ten seconds.
  const std::vector<uint8_t> generated =
      CanonicalWav(RenderClicks(kTenSeconds, EvenClickPositions(kTenSeconds, 90)));
  const std::string bytes = ReadText(shipped);
  ASSERT_EQ(bytes.size(), generated.size());
  EXPECT_EQ(std::memcmp(bytes.data(), generated.data(), bytes.size()), 0);

  CounterState state;
  FakeWindow window;
  window.Attach(state);
  ReadWavFileCommand(state, shipped, false);
  // 90 clicks, and the two jumps in the data chunk's length that the period starts with.
  ASSERT_EQ(state.history.size(), 1u);
  EXPECT_EQ(state.history.entries()[0], 92u);
  EXPECT_EQ(window.sampletime.Text(), "10");
  EXPECT_EQ(window.cpm.Text(), "552");
}

}  // namespace
