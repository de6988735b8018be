// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "input/simulated_meter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "capture_rig.h"
#include "core/detect.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// Real time, sped up: a second of audio passes in 1/factor of a second.
class FastClock : public MeterClock {
 public:
  explicit FastClock(int factor) : factor_(factor) {}
  nanoseconds Now() const override {
    return std::chrono::steady_clock::now().time_since_epoch() * factor_;
  }

 private:
  int factor_;
};

// Time that passes only when the test says so.
class ManualClock : public MeterClock {
 public:
  nanoseconds Now() const override { return nanoseconds(now_.load()); }
  void Advance(nanoseconds by) { now_ += by.count(); }

 private:
  std::atomic<int64_t> now_{0};
};

int32_t Detect(const std::vector<uint8_t>& samples, unsigned channels) {
  return channels == 2 ? CountCoincidences(samples.data(), samples.size(), 100)
                       : CountPulses(samples.data(), samples.size(), 100);
}

struct RateCase {
  const char* name;
  unsigned channels;
  double cpm;
};

void PrintTo(const RateCase& c, std::ostream* os) { *os << c.name; }

class ClickSynthTest : public ::testing::TestWithParam<RateCase> {};

// The detector counts exactly the clicks the synthesiser says it made, over one long stream
// rendered in pieces of awkward sizes, so that clicks fall on every position of a piece and
// across the joints. (That a buffer's first frame is not counted is checked by the run below.)
TEST_P(ClickSynthTest, DetectorCountsExactlyTheClicksMade) {
  const RateCase& c = GetParam();
  ClickSynth synth(MeterSettings{c.cpm, 0.25, 7}, 11025, c.channels);
  std::vector<uint8_t> stream;
  uint32_t made = 0;
  for (size_t piece = 997; stream.size() < size_t{120} * 11025 * c.channels; piece += 13) {
    std::vector<uint8_t> samples(piece * c.channels);
    made += synth.Render(samples, !stream.empty());
    stream.insert(stream.end(), samples.begin(), samples.end());
  }
  EXPECT_EQ(static_cast<uint32_t>(Detect(stream, c.channels)), made);
  // Two minutes at the chosen rate: the clicks are there (coincidences are a quarter of them),
  // but for those that came while a channel was still dead from the click before, as with a
  // real tube.
  const double per_second = c.cpm / 60;
  const double live = 1 / (1 + per_second * ClickSynth::kDeadFrames / 11025);
  const double expected = 2 * c.cpm * (c.channels == 2 ? 0.25 * live * live : live);
  EXPECT_NEAR(made, expected, 5 * std::sqrt(expected));
}

INSTANTIATE_TEST_SUITE_P(Rates, ClickSynthTest,
                         ::testing::Values(RateCase{"mono_background", 1, 30},
                                           RateCase{"mono_busy", 1, 6000},
                                           RateCase{"coincidence", 2, 3000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ClickSynth, ShapeRisesInOneStepFallsSlowlyAndStaysNearSilenceBetween) {
  ClickSynth synth(MeterSettings{600, 0, 3}, 11025, 1);
  std::vector<uint8_t> samples(60 * 11025);
  ASSERT_GT(synth.Render(samples, false), 400u);
  int largest_fall = 0, rises = 0;
  for (size_t i = 1; i < samples.size(); ++i) {
    const int step = samples[i] - samples[i - 1];
    if (step > 100) {
      ++rises;
      EXPECT_LT(samples[i - 1], 150) << i;  // a click starts from (near) silence
    } else {
      EXPECT_LT(step, 10) << i;  // the only steep rise is a click's
    }
    largest_fall = std::max(largest_fall, -step);
  }
  EXPECT_GT(rises, 400);
  // The fall is spread over several samples, and there is some noise but not much.
  EXPECT_LT(largest_fall, 50);
  EXPECT_GT(largest_fall, 20);
  const auto silent =
      std::count_if(samples.begin(), samples.end(), [](uint8_t s) { return s >= 126 && s <= 130; });
  EXPECT_GT(silent, static_cast<long>(samples.size() * 9 / 10));
  EXPECT_LT(std::count(samples.begin(), samples.end(), 128), silent);
}

// Runs through the capture controller on the meter, faster than real time: every period's
// count is exactly what the meter put into it, run after run, and over many periods the rate
// is the chosen one within Poisson's bounds, with Poisson's spread from period to period.
TEST(SimulatedMeterRun, PeriodsCountTheClicksMadeAtTheChosenRate) {
  const RateCase cases[] = {{"mono", 1, 600}, {"coincidence", 2, 1200}};
  for (const RateCase& c : cases) {
    SCOPED_TRACE(c.name);
    FastClock clock(500);
    SimulatedMeter* meter = nullptr;
    RealCaptureRig rig([&] {
      auto made = std::make_unique<SimulatedMeter>(MeterSettings{c.cpm, 0.25, 11}, &clock);
      meter = made.get();
      return std::unique_ptr<AudioInput>(std::move(made));
    });
    constexpr uint32_t kPeriods = 150;
    rig.state.coincidence = c.channels == 2;
    rig.fields.values.repeat = kPeriods;
    // A short run first: the next run on the same open device counts just the same.
    for (uint32_t periods : {3u, kPeriods}) {
      rig.fields.values.repeat = periods;
      rig.controller->OnStart();
      ASSERT_TRUE(rig.RunUntilDone(std::chrono::seconds(120)));
    }
    EXPECT_EQ(rig.state.iteration, kPeriods);

    const std::vector<uint32_t> all = meter->BufferClicks();
    ASSERT_EQ(all.size(), 3 + kPeriods);
    const std::vector<uint32_t> made(all.begin() + 3, all.end());
    const std::span<const uint32_t> counted = rig.state.history.First(kPeriods);
    EXPECT_TRUE(std::equal(counted.begin(), counted.end(), made.begin()));

    const double mean_rate = c.cpm / 60 * (c.channels == 2 ? 0.25 : 1.0);  // per period
    const double total = std::accumulate(made.begin(), made.end(), 0.0);
    EXPECT_NEAR(total, mean_rate * kPeriods, 4 * std::sqrt(mean_rate * kPeriods));
    double squares = 0;
    for (uint32_t m : made) squares += (m - total / kPeriods) * (m - total / kPeriods);
    const double dispersion = squares / (kPeriods - 1) / (total / kPeriods);
    EXPECT_GT(dispersion, 0.55);  // evenly spaced clicks would give 0
    EXPECT_LT(dispersion, 1.45);
  }
}

// The buffer fills as the clock goes: its completion comes when a period's worth of time has
// passed, not before, and a Stop hands back what has been played so far.
TEST(SimulatedMeterTiming, BufferFillsByTheClock) {
  ManualClock clock;
  SimulatedMeter meter(MeterSettings{600, 0, 5}, &clock);
  std::atomic<int> completions{0};
  std::atomic<size_t> last_bytes{0};
  ASSERT_TRUE(meter
                  .Open(MakeCaptureFormat(false, 11025),
                        [&](size_t bytes) {
                          last_bytes = bytes;
                          ++completions;
                        })
                  .ok);
  std::vector<std::byte> buffer(11025);
  // While a buffer records, the meter's thread wakes at every tick.
  const auto wait_for_ticks = [&](uint64_t ticks) {
    const uint64_t until = meter.wakeups() + ticks;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (meter.wakeups() < until && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(milliseconds(5));
    }
  };
  const auto wait_for_completions = [&](int count) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (completions.load() < count && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(milliseconds(5));
    }
  };

  ASSERT_TRUE(meter.AddBuffer(buffer));
  ASSERT_TRUE(meter.Start());
  clock.Advance(milliseconds(999));
  wait_for_ticks(3);
  EXPECT_EQ(completions.load(), 0);
  clock.Advance(milliseconds(1));
  wait_for_completions(1);
  ASSERT_EQ(completions.load(), 1);
  EXPECT_EQ(last_bytes.load(), 11025u);

  ASSERT_TRUE(meter.AddBuffer(buffer));
  ASSERT_TRUE(meter.Start());
  clock.Advance(milliseconds(250));
  wait_for_ticks(3);
  meter.Stop();
  wait_for_completions(2);
  EXPECT_EQ(completions.load(), 2);
  EXPECT_EQ(last_bytes.load(), 2756u);  // a quarter of a second, in whole frames

  // Idle: no buffer, so the meter's thread sleeps until it is needed again.
  const uint64_t idle = meter.wakeups();
  clock.Advance(std::chrono::seconds(5));
  std::this_thread::sleep_for(SimulatedMeter::kTick * 10);
  EXPECT_EQ(meter.wakeups(), idle);
  meter.Close();
  EXPECT_EQ(completions.load(), 2);
}

}  // namespace
