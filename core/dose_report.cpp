// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/dose_report.h"

#include "core/report.h"
#include "core/text_format.h"

namespace {

void Show(TextControl* field, const std::string& text) {
  if (field != nullptr) field->SetText(text);
}

std::string FormatDose(double usv) { return StringPrintf("%.3f", usv); }

const char* DeadTimeNote(const Config& config, bool saturated) {
  if (config.dead_time_us == 0) return "";
  return saturated ? "SATURATED" : "dead-time corrected";
}

void ShowAlarm(const CounterState& state) {
  BannerControl* field = state.controls.alarm_field;
  if (field == nullptr) return;
  const double level = state.config.alarm_usvh;
  const bool on = state.dose.alarm.on();
  using Look = BannerControl::Look;
  field->SetBanner(FormatAlarmBanner(on, level), !(level > 0.0) ? Look::kInactive
                                                 : on           ? Look::kRaised
                                                                : Look::kQuiet);
}

}  // namespace

std::string FormatRate(int precision, double value, bool saturated) {
  return StringPrintf("%s%.*f", saturated ? ">" : "", precision, value);
}

std::string FormatUncertainty(std::optional<double> relative) {
  if (!relative) return {};
  const double percent = *relative * 100.0;
  // Two significant digits say enough of an uncertainty; whole percents from ten on (9.95
  // would round to "10." in two digits).
  return percent >= 9.95 ? StringPrintf("±%.0f%%", percent) : StringPrintf("±%#.2g%%", percent);
}

void ReportDose(CounterState& state, const PeriodDose& dose) {
  const Config& config = state.config;
  const bool live = state.period_source.empty();
  AlarmChange change = AlarmChange::kNone;
  {
    std::lock_guard lock(state.shared_mutex);
    DoseState& kept = state.dose;
    kept.latest = dose;
    if (live) {
      kept.since_zero_usv += dose.dose_usv;
      kept.since_start_usv += dose.dose_usv;
      change =
          kept.alarm.Update(dose.usvh, dose.saturated, config.alarm_usvh, config.alarm_periods);
    }
    kept.alarm_change = change;
  }

  const MainControls& window = state.controls;
  Show(window.usvh_field, FormatRate(2, dose.usvh, dose.saturated));
  Show(window.avg_usvh_field, FormatRate(2, dose.average_usvh, dose.average_saturated));
  Show(window.avg_uncertainty_field, FormatUncertainty(dose.average_uncertainty));
  Show(window.dead_time_note, DeadTimeNote(config, dose.saturated));
  Show(window.dose_since_zero_field, FormatDose(state.dose.since_zero_usv));
  Show(window.dose_since_start_field, FormatDose(state.dose.since_start_usv));
  ShowAlarm(state);

  if (dose.saturated) {
    LogLine(state, StringPrintf("   Saturated: at or past the dead-time limit of %.0f CPM; the "
                                "true rate is higher than shown.",
                                60e6 / config.dead_time_us));
  }
  if (change != AlarmChange::kNone) {
    LogLine(state, FormatAlarmLine(change, config.alarm_usvh, config.alarm_periods, dose.usvh,
                                   dose.saturated));
  }
}

void ShowDoseSettings(CounterState& state) {
  const Config& config = state.config;
  const MainControls& window = state.controls;
  Show(window.dead_time_note, DeadTimeNote(config, false));
  Show(window.dose_since_zero_field, FormatDose(state.dose.since_zero_usv));
  Show(window.dose_since_start_field, FormatDose(state.dose.since_start_usv));
  ShowAlarm(state);
  const uint32_t periods = config.alarm_periods;
  Show(window.alarm_rule_text,
       config.alarm_usvh > 0.0
           ? StringPrintf("On after %u period%s above, off after %u below %g µSv/h.", periods,
                          periods == 1 ? "" : "s", periods, config.alarm_usvh * kAlarmOffShare)
           : std::string("Set alarm_usvh in blipcount.conf to watch the dose rate."));
}

void ZeroDose(CounterState& state) {
  {
    std::lock_guard lock(state.shared_mutex);
    state.dose.since_zero_usv = 0.0;
  }
  const MainControls& window = state.controls;
  Show(window.avg_usvh_field, "0");
  Show(window.avg_uncertainty_field, "");
  Show(window.dose_since_zero_field, FormatDose(0.0));
}
