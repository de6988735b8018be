// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <string>

#include "core/period.h"

// A period of one second of the line input at the default settings, as the record is told it;
// the counts tell periods apart.
inline PeriodReport OneSecondPeriod(int64_t start_ms, int32_t counts,
                                    const std::string& source = "") {
  PeriodReport period;
  period.start_ms = start_ms;
  period.end_ms = start_ms + 1000;
  period.seconds = 1;
  period.counts = counts;
  period.threshold = 100;
  period.scale = 600;
  period.source = source;
  return period;
}

// A run of ten one-second periods at the default settings.
inline RunReport RunOfOneSecondPeriods(int64_t start_ms) {
  RunReport run;
  run.start_ms = start_ms;
  run.sampletime = 1;
  run.repeat = 10;
  run.threshold = 100;
  run.scale = 600;
  return run;
}
