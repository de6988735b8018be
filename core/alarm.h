// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <string>

enum class AlarmChange { kNone, kOn, kOff };

// Below this share of the alarm level a period counts towards ending the alarm; between it
// and the level a period counts neither way, so a rate near the level does not flicker.
inline constexpr double kAlarmOffShare = 0.8;

// The dose-rate alarm: on after `periods` consecutive periods above the level, off after as
// many consecutive periods below 80 % of it. A saturated period counts as above any level.
class DoseAlarm {
 public:
  // Takes one period. A level of 0 (or less) is no alarm: it stays off.
  AlarmChange Update(double usvh, bool saturated, double level_usvh, uint32_t periods);

  bool on() const { return on_; }
  // Consecutive periods so far that point the other way (towards on while off).
  uint32_t run() const { return run_; }

 private:
  bool on_ = false;
  uint32_t run_ = 0;
};

// The log lines of a change: "Alarm on: ..." and "Alarm off: ...".
std::string FormatAlarmLine(AlarmChange change, double level_usvh, uint32_t periods,
                            double latest_usvh, bool latest_saturated);

// The alarm field's text: the alarm as set in blipcount.conf, and whether it is on.
std::string FormatAlarmBanner(bool on, double level_usvh);

// The desktop notification of a change: its summary and its body.
struct AlarmNotice {
  std::string summary;
  std::string body;
};
AlarmNotice FormatAlarmNotice(AlarmChange change, double level_usvh, uint32_t periods,
                              double latest_usvh, bool latest_saturated);
