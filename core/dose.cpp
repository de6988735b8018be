// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/dose.h"

#include <cmath>

#include "core/counter_state.h"
#include "core/period.h"

namespace {

// CPM x tau / 60 with tau in microseconds, in one product and one division, so that a rate
// exactly at the limit gives exactly 1.
double DeadShare(double measured_cpm, uint32_t dead_time_us) {
  return measured_cpm * dead_time_us / 60e6;
}

}  // namespace

CorrectedRate CorrectDeadTime(double measured_cpm, uint32_t dead_time_us) {
  if (dead_time_us == 0) return {measured_cpm, false};
  const double share = DeadShare(measured_cpm, dead_time_us);
  if (!(share < 1.0)) return {measured_cpm, true};
  return {measured_cpm / (1.0 - share), false};
}

std::optional<double> RelativeUncertainty95(uint64_t total_counts, double measured_cpm,
                                            uint32_t dead_time_us) {
  if (total_counts == 0) return std::nullopt;
  double relative = 1.96 / std::sqrt(static_cast<double>(total_counts));
  if (dead_time_us != 0) {
    // d(true)/true = d(measured)/measured / (1 - share).
    const double share = DeadShare(measured_cpm, dead_time_us);
    if (!(share < 1.0)) return std::nullopt;
    relative /= 1.0 - share;
  }
  return relative;
}

PeriodDose MeasureDose(int32_t counts, uint32_t seconds, uint32_t mean_counts,
                       uint64_t total_counts, double scale, uint32_t dead_time_us) {
  const uint32_t length = DivisorSeconds(seconds);
  const double factor = 60.0 / length;
  const auto usvh = [scale](double cpm) {
    return cpm / scale * kMicroSievertPerHourPerMilliRoentgenPerHour;
  };
  PeriodDose dose;
  dose.raw_cpm = static_cast<uint32_t>(counts) * factor;
  const CorrectedRate latest = CorrectDeadTime(dose.raw_cpm, dead_time_us);
  dose.cpm = latest.cpm;
  dose.saturated = latest.saturated;
  dose.mrhr = dose.cpm / scale;
  dose.usvh = usvh(dose.cpm);

  dose.average_raw_cpm = mean_counts * factor;
  const CorrectedRate average = CorrectDeadTime(dose.average_raw_cpm, dead_time_us);
  dose.average_cpm = average.cpm;
  dose.average_saturated = average.saturated;
  dose.average_usvh = usvh(dose.average_cpm);
  dose.average_uncertainty =
      RelativeUncertainty95(total_counts, dose.average_raw_cpm, dead_time_us);

  dose.dose_usv = dose.usvh * length / 3600.0;
  return dose;
}
