// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/alarm_signals.h"

#include "core/alarm.h"

void AlarmSignals::OnPeriod(const PeriodReport& period) {
  if (!period.alarm_changed) return;
  const Config& config = state_.config;
  const AlarmNotice notice =
      FormatAlarmNotice(period.alarm_on ? AlarmChange::kOn : AlarmChange::kOff, config.alarm_usvh,
                        config.alarm_periods, period.usvh, period.saturated);
  desktop_.Notify(notice.summary, notice.body, period.alarm_on);
  if (config.alarm_sound) desktop_.PlayAlarmTone(period.alarm_on);
}
