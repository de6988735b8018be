// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/detect.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

namespace {

int32_t Pulses(const std::vector<uint8_t>& samples, uint32_t threshold) {
  return CountPulses(samples.data(), samples.size(), threshold);
}

int32_t Coincidences(const std::vector<uint8_t>& frames, uint32_t threshold) {
  return CountCoincidences(frames.data(), frames.size(), threshold);
}

TEST(CountPulses, CountsJumpsGreaterThanTheThreshold) {
  struct Case {
    std::vector<uint8_t> samples;
    uint32_t threshold;
    int32_t pulses;
  };
  const Case cases[] = {
      {{128, 250, 128}, 100, 2},  // the rise and the fall each jump by 122
      {{128, 228}, 100, 0},       // a jump equal to the threshold does not count
      {{128, 229}, 100, 1},
      {{228, 128}, 100, 0},
      {{229, 128}, 100, 1},
      {{0, 255, 0, 255}, 255, 0},  // 255 can never be exceeded
      {{0, 255, 0, 255}, 254, 3},
      {{0, 255}, 4000000000u, 0},
      {{10, 11, 11, 10}, 0, 2},  // threshold 0: every change counts
      {{}, 100, 0},
      {{200}, 100, 0},
      {{128, 140, 152, 164, 176, 188}, 10, 5},  // a slow edge counts once per steep step
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Pulses(c.samples, c.threshold), c.pulses)
        << "threshold " << c.threshold << ", " << c.samples.size() << " samples";
  }
}

TEST(CountCoincidences, CountsFramesWhereBothChannelsJump) {
  struct Case {
    std::vector<uint8_t> frames;
    uint32_t threshold;
    int32_t coincidences;
  };
  const Case cases[] = {
      {{128, 128, 250, 250}, 100, 1},
      {{128, 128, 250, 128}, 100, 0},
      {{128, 128, 250, 128, 250, 250}, 100, 0},  // the channels jump in different frames
      {{128, 128, 250, 250, 128, 128}, 100, 2},
      {{128, 128, 228, 228}, 100, 0},
      {{128, 128}, 100, 0},  // one frame
      {{}, 100, 0},
      {{128}, 100, 0},
      {{0, 0, 255, 255}, 255, 0},
      // An odd last byte is half a frame: it is never read as a frame's second channel.
      {{128, 128, 250, 250, 128}, 100, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Coincidences(c.frames, c.threshold), c.coincidences)
        << "threshold " << c.threshold << ", " << c.frames.size() << " bytes";
  }
}

struct Kernel {
  const char* name;
  uint64_t (*pulses)(const uint8_t*, size_t, uint32_t);
  uint64_t (*coincidences)(const uint8_t*, size_t, uint32_t);
};

// Every length from 0 to 600 (past two rounds of the widest kernel's unrolled loop) at start
// offsets across a 64-byte vector, with random samples and thresholds (the edges 0, 254, 255 and
// beyond among them), each buffer its own exact-size heap block so that AddressSanitizer catches
// any read past its end.
TEST(DetectKernels, EqualThePlainLoopForEveryLengthAndAlignment) {
  std::vector<Kernel> kernels = {
      {"sse2", detect_kernels::PulsesSse2, detect_kernels::CoincidencesSse2}};
  if (detect_kernels::HaveAvx2()) {
    kernels.push_back({"avx2", detect_kernels::PulsesAvx2, detect_kernels::CoincidencesAvx2});
  }
  if (detect_kernels::HaveAvx512()) {
    kernels.push_back(
        {"avx512bw", detect_kernels::PulsesAvx512, detect_kernels::CoincidencesAvx512});
  }
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<uint32_t> threshold_of(0, 255);
  constexpr uint32_t kEdgeThresholds[] = {0, 254, 255, 1000};
  for (size_t length = 0; length <= 600; ++length) {
    for (size_t offset = 0; offset < 64; offset += 7) {
      auto block = std::make_unique<uint8_t[]>(offset + length);
      uint8_t* samples = block.get() + offset;
      // Mostly quiet signal with large jumps mixed in, so both outcomes occur often.
      for (size_t i = 0; i < length; ++i) {
        samples[i] =
            static_cast<uint8_t>(byte(random) < 64 ? byte(random) : 128 + byte(random) % 8);
      }
      const uint32_t threshold = length % 4 == 3   ? kEdgeThresholds[offset % 4]
                                 : length % 4 == 2 ? threshold_of(random)
                                                   : threshold_of(random) % 128 + length % 2;
      const uint64_t pulses = detect_kernels::PulsesPlain(samples, length, threshold);
      const uint64_t coincidences = detect_kernels::CoincidencesPlain(samples, length, threshold);
      for (const Kernel& k : kernels) {
        ASSERT_EQ(k.pulses(samples, length, threshold), pulses)
            << k.name << " length " << length << " offset " << offset << " threshold " << threshold;
        ASSERT_EQ(k.coincidences(samples, length, threshold), coincidences)
            << k.name << " length " << length << " offset " << offset << " threshold " << threshold;
      }
    }
  }
}

// A long buffer with every lane saturated: the per-lane byte counters must be flushed before
// they wrap.
TEST(DetectKernels, CountEveryJumpOfALongSawtooth) {
  std::vector<uint8_t> samples(1 << 16);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = (i % 2) ? 255 : 0;
  EXPECT_EQ(CountPulses(samples.data(), samples.size(), 200), 65535);
  EXPECT_EQ(CountCoincidences(samples.data(), samples.size(), 200), 0);  // channels never move
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = (i / 2 % 2) ? 255 : 0;
  EXPECT_EQ(CountCoincidences(samples.data(), samples.size(), 200), 32767);
  EXPECT_EQ(CountPulses(samples.data(), samples.size(), 200), 32767);
}

}  // namespace
