// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/dose.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "core/dose_report.h"
#include "core/report.h"
#include "support/fake_controls.h"

namespace {

struct DoseCase {
  const char* name;
  int32_t counts;
  uint32_t seconds;
  uint32_t mean_counts;
  uint64_t total_counts;
  uint32_t dead_time_us;
  // Expected, with a sensitivity of 600 CPM per mR/hr.
  double cpm;
  bool saturated;
  double usvh;
  double dose_usv;
  double average_cpm;
  bool average_saturated;
  std::optional<double> uncertainty;
};

TEST(MeasureDose, RatesDeadTimeAndTheDoseOfAPeriod) {
  constexpr int32_t kHuge = 2147483647;
  const DoseCase cases[] = {
      {"no dead time", 13, 1, 11, 22, 0, 780, false, 13.0, 13.0 / 3600, 660, false,
       1.96 / std::sqrt(22.0)},
      {"ten-second period", 12, 10, 12, 12, 0, 72, false, 1.2, 1.2 * 10 / 3600, 72, false,
       1.96 / std::sqrt(12.0)},
      {"a zero length is taken as one second", 3, 0, 3, 3, 0, 180, false, 3.0, 3.0 / 3600, 180,
       false, 1.96 / std::sqrt(3.0)},
      {"no counts", 0, 1, 0, 0, 100, 0, false, 0.0, 0.0, 0, false, std::nullopt},
      // 60000 CPM x 100 us / 60 s = 0.1 of the time dead: 60000 / 0.9. The uncertainty widens by
      // the same 1 / 0.9.
      {"dead time 100 us", 1000, 1, 1000, 5000, 100, 60000 / 0.9, false, 60000 / 0.9 / 60,
       60000 / 0.9 / 60 / 3600, 60000 / 0.9, false, 1.96 / std::sqrt(5000.0) / 0.9},
      // 600000 CPM x 100 us is exactly one minute of dead time per minute: the model's limit.
      // The measured rate is reported, the least the true one can be; the average is half of it.
      {"exactly at the limit", 10000, 1, 5000, 15000, 100, 600000, true, 10000, 10000.0 / 3600,
       600000, false, 1.96 / std::sqrt(15000.0) / 0.5},
      {"beyond the limit", 20000, 1, 20000, 20000, 100, 1.2e6, true, 20000, 20000.0 / 3600, 1.2e6,
       true, std::nullopt},
      // Counts go into the rate as unsigned 32-bit: the largest count stays positive and finite.
      {"huge count", kHuge, 1, kHuge, kHuge, 0, kHuge * 60.0, false, kHuge * 1.0, kHuge / 3600.0,
       kHuge * 60.0, false, 1.96 / std::sqrt(double{kHuge})},
      {"huge count with dead time", kHuge, 1, kHuge, kHuge, 50, kHuge * 60.0, true, kHuge * 1.0,
       kHuge / 3600.0, kHuge * 60.0, true, std::nullopt},
  };
  for (const DoseCase& c : cases) {
    SCOPED_TRACE(c.name);
    const PeriodDose dose =
        MeasureDose(c.counts, c.seconds, c.mean_counts, c.total_counts, 600.0, c.dead_time_us);
    EXPECT_DOUBLE_EQ(dose.raw_cpm,
                     static_cast<uint32_t>(c.counts) * 60.0 / (c.seconds ? c.seconds : 1));
    EXPECT_DOUBLE_EQ(dose.cpm, c.cpm);
    EXPECT_EQ(dose.saturated, c.saturated);
    EXPECT_DOUBLE_EQ(dose.mrhr, c.cpm / 600.0);
    EXPECT_DOUBLE_EQ(dose.usvh, c.usvh);
    EXPECT_DOUBLE_EQ(dose.dose_usv, c.dose_usv);
    EXPECT_DOUBLE_EQ(dose.average_cpm, c.average_cpm);
    EXPECT_EQ(dose.average_saturated, c.average_saturated);
    EXPECT_DOUBLE_EQ(dose.average_usvh, c.average_cpm / 60.0);
    ASSERT_EQ(dose.average_uncertainty.has_value(), c.uncertainty.has_value());
    if (c.uncertainty) {
      EXPECT_DOUBLE_EQ(*dose.average_uncertainty, *c.uncertainty);
    }
    for (double value : {dose.cpm, dose.usvh, dose.dose_usv, dose.average_usvh}) {
      EXPECT_TRUE(std::isfinite(value) && value >= 0.0) << value;
    }
  }
}

struct ShownCase {
  const char* name;
  uint32_t dead_time_us;
  int32_t counts;
  std::vector<std::string> fields;  // CPM, mR/hr, µSv/h, average µSv/h, ±, note
  std::vector<std::string> log;
};

// The window and the log with the correction on: the corrected CPM in the existing fields and
// line, the note beside the CPM, and a saturated period marked as the least it was.
TEST(ReportResults, ShowsTheCorrectedRateAndMarksASaturatedOne) {
  const ShownCase cases[] = {
      {"correction off",
       0,
       13,
       {"780", "1.300", "13.00", "13.00", "±54%", ""},
       {"#1   Counts=13    CPM=780   mR/hr=1.300   Ave: CPM=780.00 (1.300 mR/hr)"}},
      {"correction on",
       100,
       1000,
       {"66667", "111.111", "1111.11", "1111.11", "±6.9%", "dead-time corrected"},
       {"#1   Counts=1000  CPM=66667 mR/hr=111.111   Ave: CPM=66666.67 (111.111 mR/hr)"}},
      {"saturated",
       100,
       10000,
       {">600000", ">1000.000", ">10000.00", ">10000.00", "", "SATURATED"},
       {"#1   Counts=10000 CPM=600000 mR/hr=1000.000   Ave: CPM=600000.00 (1000.000 mR/hr)",
        "   Saturated: at or past the dead-time limit of 600000 CPM; the true rate is higher "
        "than shown."}},
  };
  for (const ShownCase& c : cases) {
    SCOPED_TRACE(c.name);
    CounterState state;
    FakeWindow window;
    window.Attach(state);
    state.logconfidence = 0;
    state.config.dead_time_us = c.dead_time_us;
    state.history = CountHistory::Allocate(10);
    state.history.Store(0, static_cast<uint32_t>(c.counts));
    state.iteration = 1;
    ReportResults(state, c.counts, 1);
    EXPECT_EQ((std::vector<std::string>{window.cpm.Text(), window.mrhr.Text(), window.usvh.Text(),
                                        window.avg_usvh.Text(), window.avg_uncertainty.Text(),
                                        window.dead_time_note.Text()}),
              c.fields);
    EXPECT_EQ(window.log.lines, c.log);
    EXPECT_DOUBLE_EQ(state.current_cpm, state.dose.latest.cpm);
  }
}

// 360 counts at 600 CPM per mR/hr are 0.1 µSv, whatever the period's length.
TEST(ReportResults, AccumulatesTheDoseSinceZeroAndSinceStart) {
  CounterState state;
  FakeWindow window;
  window.Attach(state);
  state.logconfidence = 0;
  state.history = CountHistory::Allocate(10);
  const auto period = [&](int32_t counts, uint32_t seconds) {
    state.history.Store(state.iteration++, static_cast<uint32_t>(counts));
    ReportResults(state, counts, seconds);
    return window.dose_since_zero.Text() + " " + window.dose_since_start.Text();
  };
  EXPECT_EQ(period(360, 1), "0.100 0.100");
  EXPECT_EQ(period(720, 10), "0.300 0.300");
  ZeroDose(state);
  EXPECT_EQ(window.dose_since_zero.Text(), "0.000");
  EXPECT_EQ(window.avg_usvh.Text(), "0");
  EXPECT_EQ(window.avg_uncertainty.Text(), "");
  EXPECT_EQ(period(360, 1), "0.100 0.400");
  // A recording read from a file is shown, but it is not the dose of now.
  state.period_source = "clicks.wav";
  EXPECT_EQ(period(3600, 1), "0.100 0.400");
  EXPECT_EQ(window.usvh.Text(), "3600.00");
  state.period_source.clear();
  EXPECT_EQ(period(36, 1), "0.110 0.410");
  EXPECT_NEAR(state.dose.since_start_usv, 0.41, 1e-12);
}

TEST(FormatUncertainty, TwoDigitsThenWholePercents) {
  EXPECT_EQ(FormatUncertainty(std::nullopt), "");
  EXPECT_EQ(FormatUncertainty(1.96), "±196%");
  EXPECT_EQ(FormatUncertainty(0.0996), "±10%");
  EXPECT_EQ(FormatUncertainty(0.0196), "±2.0%");
  EXPECT_EQ(FormatUncertainty(0.000196), "±0.020%");
}

}  // namespace
