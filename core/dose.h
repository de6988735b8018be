// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <optional>

#include "core/alarm.h"

// The dose arithmetic of a period: the tube's dead-time correction, the dose rate in mR/hr and
// µSv/h, the dose the period adds, and how far the average can be trusted. Pure functions.

// A count rate after the dead-time correction.
struct CorrectedRate {
  // The corrected rate; the measured rate itself when the correction is off or saturated.
  double cpm = 0.0;
  // The measured rate is at or beyond what the model allows (CPM x tau / 60 >= 1): the true
  // rate is unknown and at least `cpm`.
  bool saturated = false;
};

// The non-paralysable model, CPM_true = CPM / (1 - CPM x tau / 60) with tau in seconds.
// `dead_time_us` 0 leaves the rate as it is.
CorrectedRate CorrectDeadTime(double measured_cpm, uint32_t dead_time_us);

// Relative uncertainty at 95 % of a rate made of `total_counts` counts (1.96 / sqrt(N)), widened
// by the correction's slope at `measured_cpm`. Nothing when there are no counts or the rate is
// saturated.
std::optional<double> RelativeUncertainty95(uint64_t total_counts, double measured_cpm,
                                            uint32_t dead_time_us);

// What one period's report says of the dose.
struct PeriodDose {
  double raw_cpm = 0.0;  // counts x 60 / seconds, before the correction
  double cpm = 0.0;      // after it: the CPM the window, the log and the page show
  bool saturated = false;
  double mrhr = 0.0;
  double usvh = 0.0;
  double average_raw_cpm = 0.0;
  double average_cpm = 0.0;
  bool average_saturated = false;
  double average_usvh = 0.0;
  std::optional<double> average_uncertainty;  // relative, at 95 %
  double dose_usv = 0.0;                      // what the period adds: its dose rate over its length
};

// `counts` of a period of `seconds` (0 is taken as 1), and the average the report shows: its
// integer mean counts and the total counts it is made of. A saturated rate gives its dose
// from the measured rate, the least it can have been.
PeriodDose MeasureDose(int32_t counts, uint32_t seconds, uint32_t mean_counts,
                       uint64_t total_counts, double scale, uint32_t dead_time_us);

// What the program keeps of the dose between periods. Owner thread writes under the state's
// shared mutex.
struct DoseState {
  PeriodDose latest;
  double since_zero_usv = 0.0;   // reset by Zero
  double since_start_usv = 0.0;  // since the program started
  DoseAlarm alarm;
  AlarmChange alarm_change = AlarmChange::kNone;  // what the latest period did to the alarm
};
