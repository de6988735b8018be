// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/process.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/fake_controls.h"

namespace {

// A period of quiet samples whose level steps between 128 and 250 `jumps` times, 50 samples
// apart: each step is one pulse at threshold 100.
void FillPeriod(CounterState& state, uint64_t bytes, int jumps) {
  state.sample_buffer = ZeroedBlock::Allocate(bytes);
  auto* samples = reinterpret_cast<uint8_t*>(state.sample_buffer.data());
  uint8_t level = 128;
  for (uint64_t i = 0; i < bytes; ++i) {
    if (i >= 10 && (i - 10) % 50 == 0 && static_cast<int>((i - 10) / 50) < jumps) {
      level = level == 128 ? 250 : 128;
    }
    samples[i] = level;
  }
}

class ProcessSampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.Attach(state);
    state.logconfidence = 0;
  }
  std::vector<uint32_t> History() const {
    auto entries = state.history.entries();
    return {entries.begin(), entries.end()};
  }

  CounterState state;
  FakeWindow window;
};

TEST_F(ProcessSampleTest, NormalModeStoresEachPeriodInTurn) {
  state.repeat = 3;
  state.history = CountHistory::Allocate(3);
  for (int jumps : {4, 10, 2}) {
    FillPeriod(state, 11025, jumps);
    ProcessSample(state);
  }
  EXPECT_EQ(History(), (std::vector<uint32_t>{4, 10, 2}));
  EXPECT_EQ(state.iteration, 3u);
  EXPECT_EQ(window.log.lines.back().rfind("#3   Counts=2 ", 0), 0u) << window.log.lines.back();
}

TEST_F(ProcessSampleTest, ForeverModeWithOneEntryKeepsTheLatest) {
  state.repeat = FOREVER_REPEAT;
  state.scrollwidth = 1;
  state.history = CountHistory::Allocate(1);
  for (int jumps : {3, 1}) {
    FillPeriod(state, 11025, jumps);
    ProcessSample(state);
    EXPECT_EQ(state.iteration, 0u);
  }
  EXPECT_EQ(History(), (std::vector<uint32_t>{1}));
}

TEST_F(ProcessSampleTest, ForeverScrollOfKnownCounts) {
  state.repeat = FOREVER_REPEAT;
  state.scrollwidth = 5;
  state.history = CountHistory::Allocate(5);
  for (int jumps : {4, 9}) {
    FillPeriod(state, 11025, jumps);
    ProcessSample(state);
  }
  EXPECT_EQ(History(), (std::vector<uint32_t>{0, 0, 0, 4, 9}));
  EXPECT_EQ(state.iteration, 4u);
  EXPECT_EQ(window.log.lines.back().rfind("Counts=9 ", 0), 0u) << "no prefix in forever mode";
}

TEST_F(ProcessSampleTest, SubtractsTimingTicksAndClampsAtZero) {
  struct Case {
    uint32_t ticks_per_minute, sampletime;
    int jumps;
    uint32_t stored;
    bool negative_message;
  };
  const Case cases[] = {
      {60, 10, 20, 10, false},  // 20 detected, 10 subtracted
      {30, 1, 6, 6, false},     // 30 / 60 rounds down to nothing
      {60, 10, 5, 0, true},     // 5 detected, 10 subtracted
      {0, 1, 2, 2, false},
      // 4294967295 x 2 wraps in 32 bits to 4294967294, whose sixtieth is 71582788.
      {4294967295u, 2, 6, 0, true},
  };
  for (const Case& c : cases) {
    CounterState st;
    FakeWindow w;
    w.Attach(st);
    st.logconfidence = 0;
    st.timingticksperminute = c.ticks_per_minute;
    st.sampletime = c.sampletime;
    st.history = CountHistory::Allocate(10);
    FillPeriod(st, uint64_t{11025} * c.sampletime, c.jumps);
    ProcessSample(st);
    EXPECT_EQ(st.history.entries()[0], c.stored) << c.ticks_per_minute << "/" << c.sampletime;
    const bool logged =
        !w.log.lines.empty() &&
        w.log.lines.front() == "Counts went negative ---is Timing Ticks per Minute Option correct?";
    EXPECT_EQ(logged, c.negative_message);
    EXPECT_EQ(w.counts.Text(), std::to_string(c.stored));
  }
}

TEST_F(ProcessSampleTest, WithoutAHistoryReportsButStoresNothing) {
  state.iteration = 0;
  FillPeriod(state, 11025, 8);
  ProcessSample(state);
  EXPECT_EQ(state.iteration, 0u);
  EXPECT_EQ(window.counts.Text(), "8");
  EXPECT_EQ(window.log.lines.size(), 1u);
}

TEST_F(ProcessSampleTest, AHistoryShorterThanTheRunSkipsTheStoreButAdvances) {
  state.repeat = 10;
  state.history = CountHistory::Allocate(2);
  state.iteration = 5;
  FillPeriod(state, 11025, 1);
  ProcessSample(state);
  EXPECT_EQ(state.iteration, 6u);
  EXPECT_EQ(History(), (std::vector<uint32_t>{0, 0}));
  // The average runs over the entries that exist.
  EXPECT_EQ(window.avg_cpm.Text(), "0.0");
}

TEST_F(ProcessSampleTest, NeverReadsPastTheSampleBuffer) {
  // The sample time and channel count claim far more than the buffer holds: only the buffer's
  // bytes are examined (AddressSanitizer would report any read past them).
  state.history = CountHistory::Allocate(4);
  const struct {
    uint32_t sampletime;
    int32_t coincidence;
    uint64_t bytes;
  } cases[] = {{99999, 0, 501}, {10, 1, 11025}, {1, 1, 3}, {0, 0, 100}, {5, 0, 0}};
  for (const auto& c : cases) {
    state.sampletime = c.sampletime;
    state.coincidence = c.coincidence;
    state.sample_buffer = ZeroedBlock::Allocate(c.bytes);
    if (c.bytes > 0) {
      auto* s = reinterpret_cast<uint8_t*>(state.sample_buffer.data());
      std::memset(s, 128, c.bytes);
      s[c.bytes - 1] = 255;
    }
    ProcessSample(state);
  }
  // 501 mono bytes with a last-sample jump: 1 pulse. 11025 two-channel bytes whose last byte
  // jumps on one channel only: 0. 3 bytes: one frame and a half: 0. 0 seconds: nothing
  // examined. An absent buffer: 0.
  EXPECT_EQ(History(), (std::vector<uint32_t>{1, 0, 0, 0}));
  EXPECT_EQ(state.iteration, 5u);
}

TEST_F(ProcessSampleTest, UsesThePeriodsOwnFormatOverTheSettings) {
  // The capture recorded one channel for 2 seconds; the settings have since changed.
  state.history = CountHistory::Allocate(1);
  FillPeriod(state, 22050, 6);
  state.sampletime = 1;
  state.coincidence = 1;
  ProcessSample(state, PeriodFormat{2, false});
  EXPECT_EQ(History(), (std::vector<uint32_t>{6}));
  EXPECT_EQ(window.cpm.Text(), "180");
}

TEST_F(ProcessSampleTest, RepaintsTheGraphOnlyOnceItIsOpen) {
  FakeRepaint graph;
  state.graphdlg = &graph;
  state.history = CountHistory::Allocate(2);
  FillPeriod(state, 11025, 0);
  ProcessSample(state);
  state.graph_open = true;
  ProcessSample(state);
  EXPECT_EQ(graph.repaints, 1);
}

// Each listener hears of the period after its report, with the values the window shows.
TEST_F(ProcessSampleTest, TellsListenersOfEachPeriodAsReported) {
  struct Listener : PeriodListener {
    void OnPeriod(const PeriodReport& period) override { periods.push_back(period); }
    std::vector<PeriodReport> periods;
  } first, second;
  state.period_listeners = {&first, &second};
  state.repeat = 2;
  state.sampletime = 10;
  state.timingticksperminute = 6;
  state.history = CountHistory::Allocate(2);
  state.period_source = "clicks.wav";
  FillPeriod(state, 110250, 13);
  ProcessSample(state);
  ASSERT_EQ(first.periods.size(), 1u);
  ASSERT_EQ(second.periods.size(), 1u);
  const PeriodReport& period = first.periods[0];
  EXPECT_EQ(period.counts, 12);  // one tick in ten seconds subtracted
  EXPECT_EQ(period.seconds, 10u);
  EXPECT_EQ(period.end_ms - period.start_ms, 10000);
  EXPECT_DOUBLE_EQ(period.cpm, 72.0);
  EXPECT_DOUBLE_EQ(period.mrhr, 0.12);
  EXPECT_DOUBLE_EQ(period.usvh, 1.2);
  EXPECT_DOUBLE_EQ(period.average_cpm, 72.0);
  EXPECT_EQ(period.iteration, 1u);
  EXPECT_FALSE(period.forever);
  EXPECT_EQ(period.threshold, 100u);
  EXPECT_EQ(period.timingticksperminute, 6u);
  EXPECT_EQ(period.source, "clicks.wav");
  EXPECT_EQ(window.cpm.Text(), "72");
}

// The record and the publishers take the raw and the corrected rate, the doses and the alarm
// from the period, as the window showed them.
TEST_F(ProcessSampleTest, ListenersHearTheDoseAndTheAlarm) {
  struct Listener : PeriodListener {
    void OnPeriod(const PeriodReport& period) override { periods.push_back(period); }
    std::vector<PeriodReport> periods;
  } listener;
  state.period_listeners = {&listener};
  state.repeat = 3;
  state.history = CountHistory::Allocate(3);
  state.config.dead_time_us = 100000;  // 0.1 s: 600 CPM is the limit
  state.config.alarm_usvh = 1.0;
  state.config.alarm_periods = 2;
  for (int jumps : {5, 10}) {  // 300 CPM, then 600 CPM
    FillPeriod(state, 11025, jumps);
    ProcessSample(state);
  }
  ASSERT_EQ(listener.periods.size(), 2u);
  const PeriodReport& first = listener.periods[0];
  EXPECT_DOUBLE_EQ(first.raw_cpm, 300.0);
  EXPECT_DOUBLE_EQ(first.cpm, 600.0);  // half of the time dead
  EXPECT_FALSE(first.saturated);
  EXPECT_DOUBLE_EQ(first.usvh, 10.0);
  EXPECT_DOUBLE_EQ(first.dose_usv, 10.0 / 3600);
  EXPECT_FALSE(first.alarm_on);
  const PeriodReport& second = listener.periods[1];
  EXPECT_TRUE(second.saturated);
  EXPECT_DOUBLE_EQ(second.cpm, 600.0);
  EXPECT_DOUBLE_EQ(second.raw_cpm, 600.0);
  EXPECT_DOUBLE_EQ(second.dose_since_start_usv, 20.0 / 3600);
  EXPECT_DOUBLE_EQ(second.dose_since_zero_usv, 20.0 / 3600);
  EXPECT_TRUE(second.alarm_on);
  EXPECT_TRUE(second.alarm_changed);
  EXPECT_EQ(window.cpm.Text(), ">600");
}

}  // namespace

// Whatever a period's report writes (each field, each log line, each listener), the values the
// status server reads under the mutex belong to one period: the rate is that of the newest entry,
// the average that of the entries stored. A page built at any of those moments shows no history
// with the previous period's rate.
TEST_F(ProcessSampleTest, TheServerSeesEachPeriodsValuesTogether) {
  struct ServerView : TextControl, LogControl, PeriodListener {
    explicit ServerView(CounterState& s) : state(s) {}
    void Look() {
      ++looks;
      std::lock_guard lock(state.shared_mutex);
      std::span<const uint32_t> entries = state.history.First(state.iteration);
      const double newest_cpm = entries.empty() ? 0.0 : entries.back() * 60.0;
      EXPECT_DOUBLE_EQ(state.current_cpm, newest_cpm) << "iteration " << state.iteration;
      EXPECT_EQ(state.average_counts, MeanCounts(state.history, state.iteration));
    }
    void SetText(const std::string&) override { Look(); }
    std::string Text() const override { return {}; }
    void AddLine(const std::string&) override { Look(); }
    size_t LineCount() const override { return 0; }
    void Clear() override {}
    void OnPeriod(const PeriodReport&) override { Look(); }
    CounterState& state;
    int looks = 0;
  } server(state);
  state.controls = MainControls{&server, &server, &server, &server, &server, &server};
  state.period_listeners = {&server};
  state.logconfidence = 1;
  state.repeat = 3;
  state.history = CountHistory::Allocate(3);
  for (int jumps : {4, 10, 6}) {
    FillPeriod(state, 11025, jumps);
    ProcessSample(state);
  }
  EXPECT_EQ(server.looks, 3 * 8);  // five fields, two lines and the listener, each period
  EXPECT_EQ(History(), (std::vector<uint32_t>{4, 10, 6}));
}
