// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/alarm.h"

#include "core/text_format.h"

AlarmChange DoseAlarm::Update(double usvh, bool saturated, double level_usvh, uint32_t periods) {
  if (!(level_usvh > 0.0)) {
    on_ = false;
    run_ = 0;
    return AlarmChange::kNone;
  }
  const uint32_t needed = periods == 0 ? 1 : periods;
  const bool towards =
      on_ ? (!saturated && usvh < level_usvh * kAlarmOffShare) : (saturated || usvh > level_usvh);
  if (!towards) {
    run_ = 0;
    return AlarmChange::kNone;
  }
  if (++run_ < needed) return AlarmChange::kNone;
  on_ = !on_;
  run_ = 0;
  return on_ ? AlarmChange::kOn : AlarmChange::kOff;
}

namespace {

// "above 1 µSv/h for 3 periods (latest 2.50 µSv/h)"
std::string Reason(AlarmChange change, double level_usvh, uint32_t periods, double latest_usvh,
                   bool latest_saturated) {
  const bool on = change == AlarmChange::kOn;
  const std::string latest = latest_saturated ? std::string("latest period saturated")
                                              : StringPrintf("latest %.2f µSv/h", latest_usvh);
  return StringPrintf("%s %g µSv/h for %u period%s (%s)", on ? "above" : "below",
                      on ? level_usvh : level_usvh * kAlarmOffShare, periods,
                      periods == 1 ? "" : "s", latest.c_str());
}

}  // namespace

std::string FormatAlarmLine(AlarmChange change, double level_usvh, uint32_t periods,
                            double latest_usvh, bool latest_saturated) {
  if (change == AlarmChange::kNone) return {};
  return StringPrintf("Alarm %s: dose rate %s.", change == AlarmChange::kOn ? "on" : "off",
                      Reason(change, level_usvh, periods, latest_usvh, latest_saturated).c_str());
}

std::string FormatAlarmBanner(bool on, double level_usvh) {
  if (!(level_usvh > 0.0)) return "No alarm set";
  return StringPrintf(on ? "ALARM: above %g µSv/h" : "Off (alarm above %g µSv/h)", level_usvh);
}

AlarmNotice FormatAlarmNotice(AlarmChange change, double level_usvh, uint32_t periods,
                              double latest_usvh, bool latest_saturated) {
  if (change == AlarmChange::kNone) return {};
  const bool on = change == AlarmChange::kOn;
  return {on ? "Dose-rate alarm on" : "Dose-rate alarm off",
          "Dose rate " + Reason(change, level_usvh, periods, latest_usvh, latest_saturated) + "."};
}
