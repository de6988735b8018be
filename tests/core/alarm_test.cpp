// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/alarm.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/dose_report.h"
#include "support/fake_controls.h"

namespace {

// One step of a sequence: a period of the line input with its dose rate, a saturated period, a
// period read from a file, or the Zero command.
struct Step {
  enum Kind { kPeriod, kSaturated, kFile, kZero } kind;
  double usvh = 0.0;
};
Step P(double usvh) { return {Step::kPeriod, usvh}; }
const Step kSat{Step::kSaturated, 0.01};
const Step kZero{Step::kZero};
Step File(double usvh) { return {Step::kFile, usvh}; }

struct AlarmCase {
  const char* name;
  double level_usvh;
  uint32_t periods;
  std::vector<Step> steps;
  const char* states;  // '1' where the alarm is on after the step, '0' where it is off
  std::vector<std::string> log;
};

const char kOn3[] = "Alarm on: dose rate above 1 µSv/h for 3 periods (latest 1.50 µSv/h).";

TEST(DoseAlarm, FollowsSequencesOfPeriods) {
  const AlarmCase cases[] = {
      {"on after exactly K", 1.0, 3, {P(1.5), P(1.5), P(1.5), P(1.5)}, "0011", {kOn3}},
      {"a period at the level, not above it, starts the count again",
       1.0,
       3,
       {P(1.5), P(1.5), P(1.0), P(1.5), P(1.5), P(1.5)},
       "000001",
       {kOn3}},
      {"between 80 % and the level it stays on; off after K below 80 %",
       1.0,
       3,
       {P(2), P(2), P(2), P(0.9), P(0.9), P(0.9), P(0.9), P(0.7), P(0.7), P(0.9), P(0.7), P(0.7),
        P(0.7)},
       "0011111111110",
       {"Alarm on: dose rate above 1 µSv/h for 3 periods (latest 2.00 µSv/h).",
        "Alarm off: dose rate below 0.8 µSv/h for 3 periods (latest 0.70 µSv/h)."}},
      {"exactly 80 % is not below it",
       1.0,
       2,
       {P(3), P(3), P(0.8), P(0.8), P(0.8)},
       "01111",
       {"Alarm on: dose rate above 1 µSv/h for 2 periods (latest 3.00 µSv/h)."}},
      {"a Zero in the middle neither breaks the run nor ends the alarm",
       1.0,
       3,
       {P(1.5), P(1.5), kZero, P(1.5), kZero, P(0.1)},
       "000111",
       {kOn3}},
      {"a saturated period is above any level",
       1e6,
       2,
       {kSat, kSat, P(5e6)},
       "011",
       {"Alarm on: dose rate above 1e+06 µSv/h for 2 periods (latest period saturated)."}},
      {"a period read from a file does not count",
       1.0,
       2,
       {P(1.5), File(9), File(9), P(1.5)},
       "0001",
       {"Alarm on: dose rate above 1 µSv/h for 2 periods (latest 1.50 µSv/h)."}},
      {"one period each way",
       0.5,
       1,
       {P(0.6), P(0.1)},
       "10",
       {"Alarm on: dose rate above 0.5 µSv/h for 1 period (latest 0.60 µSv/h).",
        "Alarm off: dose rate below 0.4 µSv/h for 1 period (latest 0.10 µSv/h)."}},
      {"alarm off in the settings", 0.0, 1, {P(1e9), kSat, P(1e9)}, "000", {}},
  };
  for (const AlarmCase& c : cases) {
    SCOPED_TRACE(c.name);
    CounterState state;
    FakeWindow window;
    window.Attach(state);
    state.config.alarm_usvh = c.level_usvh;
    state.config.alarm_periods = c.periods;
    state.config.dead_time_us = 100;
    ShowDoseSettings(state);
    std::string states;
    int changes = 0;
    for (const Step& step : c.steps) {
      if (step.kind == Step::kZero) {
        ZeroDose(state);
      } else {
        PeriodDose dose;
        dose.usvh = step.usvh;
        dose.saturated = step.kind == Step::kSaturated;
        state.period_source = step.kind == Step::kFile ? "old.wav" : "";
        ReportDose(state, dose);
        changes += state.dose.alarm_change != AlarmChange::kNone;
      }
      states += state.dose.alarm.on() ? '1' : '0';
      const BannerControl::Look look = !(c.level_usvh > 0)     ? BannerControl::Look::kInactive
                                       : state.dose.alarm.on() ? BannerControl::Look::kRaised
                                                               : BannerControl::Look::kQuiet;
      EXPECT_EQ(window.alarm.look(), look) << "after step " << states.size();
    }
    EXPECT_EQ(states, c.states);
    std::vector<std::string> alarm_lines;
    for (const std::string& line : window.log.lines) {
      if (line.rfind("Alarm ", 0) == 0) alarm_lines.push_back(line);
    }
    EXPECT_EQ(alarm_lines, c.log);
    EXPECT_EQ(changes, static_cast<int>(c.log.size()));
  }
}

TEST(DoseAlarm, FieldSaysWhatTheAlarmIs) {
  CounterState state;
  FakeWindow window;
  window.Attach(state);
  ShowDoseSettings(state);
  EXPECT_EQ(window.alarm.Text(), "No alarm set");
  EXPECT_EQ(window.alarm_rule.Text(), "Set alarm_usvh in blipcount.conf to watch the dose rate.");
  EXPECT_EQ(window.dead_time_note.Text(), "");

  state.config.alarm_usvh = 0.3;
  state.config.alarm_periods = 2;
  state.config.dead_time_us = 80;
  ShowDoseSettings(state);
  EXPECT_EQ(window.alarm.Text(), "Off (alarm above 0.3 µSv/h)");
  EXPECT_EQ(window.alarm_rule.Text(), "On after 2 periods above, off after 2 below 0.24 µSv/h.");
  EXPECT_EQ(window.dead_time_note.Text(), "dead-time corrected");
  PeriodDose high;
  high.usvh = 0.5;
  ReportDose(state, high);
  ReportDose(state, high);
  EXPECT_EQ(window.alarm.Text(), "ALARM: above 0.3 µSv/h");
  EXPECT_EQ(window.alarm.look(), BannerControl::Look::kRaised);
}

TEST(DoseAlarm, NoticeTellsTheChange) {
  const AlarmNotice on = FormatAlarmNotice(AlarmChange::kOn, 1.0, 3, 2.5, false);
  EXPECT_EQ(on.summary, "Dose-rate alarm on");
  EXPECT_EQ(on.body, "Dose rate above 1 µSv/h for 3 periods (latest 2.50 µSv/h).");
  const AlarmNotice off = FormatAlarmNotice(AlarmChange::kOff, 1.0, 3, 0.2, false);
  EXPECT_EQ(off.summary, "Dose-rate alarm off");
  EXPECT_EQ(off.body, "Dose rate below 0.8 µSv/h for 3 periods (latest 0.20 µSv/h).");
}

}  // namespace
