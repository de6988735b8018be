// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include "core/counter_state.h"
#include "core/period.h"
#include "ui/desktop.h"

// Tells the desktop when the dose-rate alarm goes on or off: a notification, and the tone
// where blipcount.conf asks for one (`alarm_sound`). Both return at once, so the alarm never
// holds up the counting. A period listener: owner thread. `state` and `desktop` must outlive it.
class AlarmSignals : public PeriodListener {
 public:
  AlarmSignals(const CounterState& state, Desktop& desktop) : state_(state), desktop_(desktop) {}
  void OnPeriod(const PeriodReport& period) override;

 private:
  const CounterState& state_;
  Desktop& desktop_;
};
