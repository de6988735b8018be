// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <string>

// Micro-sieverts per hour in one milli-roentgen per hour: the factor that survey meters print
// on their dual scales.
inline constexpr double kMicroSievertPerHourPerMilliRoentgenPerHour = 10.0;

// One finished period as the outputs beside the window take it: the record, the station's
// publishers and the dose arithmetic. The values are the ones the window shows for it.
struct PeriodReport {
  // When the period's audio began and ended, UTC, milliseconds since 1970.
  int64_t start_ms = 0;
  int64_t end_ms = 0;
  uint32_t seconds = 0;  // the period's length
  int32_t counts = 0;    // after the timing-tick subtraction, never negative
  double raw_cpm = 0.0;  // counts x 60 / seconds, before the dead-time correction
  double cpm = 0.0;      // after it (the same as raw_cpm while the correction is off)
  // At or past the dead-time correction's limit: `cpm`, `mrhr` and `usvh` are the measured
  // rate's, the least the true rate can be.
  bool saturated = false;
  double mrhr = 0.0;
  double usvh = 0.0;
  double average_cpm = 0.0;
  double average_usvh = 0.0;
  // The dose this period adds (µSv; 0 for a file, which is not the dose of now), and the
  // accumulated doses after it.
  double dose_usv = 0.0;
  double dose_since_zero_usv = 0.0;
  double dose_since_start_usv = 0.0;
  // The dose-rate alarm after this period, and whether this period turned it on or off.
  bool alarm_on = false;
  bool alarm_changed = false;
  uint32_t iteration = 0;  // as the report saw it (1 for the first period of a normal run)
  bool forever = false;
  // The settings the period was counted with.
  uint32_t threshold = 0;
  bool coincidence = false;
  uint32_t timingticksperminute = 0;
  double scale = 0.0;  // CPM per mR/hr: mrhr is cpm / scale
  // Empty for the line input; the file's name for Read File.
  std::string source;
};

// A run as it starts (Start, or a Read File): the settings in force. What a run fixes at its
// start (the period's length, two channels, the source) holds for all its periods; the
// threshold, the sensitivity and the timing ticks may change in mid-run and every period
// carries its own.
struct RunReport {
  int64_t start_ms = 0;  // UTC, milliseconds since 1970
  uint32_t sampletime = 0;
  uint32_t repeat = 0;
  bool forever = false;
  bool coincidence = false;
  uint32_t samplerate = 0;
  uint32_t scrollwidth = 0;
  uint32_t threshold = 0;
  double scale = 0.0;
  uint32_t timingticksperminute = 0;
  std::string source;  // as PeriodReport::source
};

// How a run ended.
enum class RunEnd {
  kDone,       // its periods were counted ("Done counting.")
  kCancelled,  // Cancel
  kStopped,    // the device was closed, the window ended, or a new Start replaced it
};

// Something that takes each finished period, and the runs and notes around them. Called on the
// owner thread right after the event, in the order the listeners were added; each call must
// return at once (hand the work to a thread of its own where it writes to a disk or a network).
class PeriodListener {
 public:
  virtual ~PeriodListener() = default;
  virtual void OnPeriod(const PeriodReport& period) = 0;
  virtual void OnRunStart(const RunReport& /*run*/) {}
  // `end_ms` is UTC, milliseconds since 1970.
  virtual void OnRunEnd(int64_t /*end_ms*/, RunEnd /*how*/) {}
  // The comment editor's text, as it was accepted.
  virtual void OnNotes(int64_t /*at_ms*/, const std::string& /*text*/) {}
};
