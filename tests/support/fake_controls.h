// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <string>
#include <vector>

#include "core/controls.h"
#include "core/counter_state.h"

// In-memory stand-ins for the main window's controls: they keep what the program wrote, so a
// test reads exactly what each field and the log would show.
class FakeText : public TextControl {
 public:
  void SetText(const std::string& text) override { text_ = text; }
  std::string Text() const override { return text_; }

 private:
  std::string text_;
};

class FakeLog : public LogControl {
 public:
  void AddLine(const std::string& line) override { lines.push_back(line); }
  size_t LineCount() const override { return lines.size(); }
  void Clear() override { lines.clear(); }

  std::vector<std::string> lines;
};

class FakeButton : public ButtonControl {
 public:
  explicit FakeButton(bool enabled = true) : enabled_(enabled) {}
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  bool IsEnabled() const override { return enabled_; }

 private:
  bool enabled_;
};

class FakeRepaint : public RepaintTarget {
 public:
  void Repaint() override { ++repaints; }
  int repaints = 0;
};

class FakeBanner : public BannerControl {
 public:
  void SetBanner(const std::string& text, Look look) override {
    text_ = text;
    look_ = look;
  }
  std::string Text() const override { return text_; }
  Look look() const override { return look_; }

 private:
  std::string text_;
  Look look_ = Look::kInactive;
};

// A whole main window of fakes, wired into a CounterState, with the buttons as the window has
// them when it opens (Start on, Cancel and Graph off).
struct FakeWindow {
  FakeText counts, cpm, mrhr, avg_cpm, avg_mrhr, repeat, sampletime;
  FakeText usvh, avg_usvh, avg_uncertainty, dead_time_note, dose_since_zero, dose_since_start,
      alarm_rule;
  FakeBanner alarm;
  FakeLog log;
  FakeButton start{true}, cancel{false}, graph{false};

  void Attach(CounterState& state) {
    state.controls = MainControls{&counts, &cpm,    &mrhr,  &avg_cpm, &avg_mrhr,  &log,
                                  &start,  &cancel, &graph, &repeat,  &sampletime};
    MainControls& c = state.controls;
    c.usvh_field = &usvh;
    c.avg_usvh_field = &avg_usvh;
    c.avg_uncertainty_field = &avg_uncertainty;
    c.dead_time_note = &dead_time_note;
    c.dose_since_zero_field = &dose_since_zero;
    c.dose_since_start_field = &dose_since_start;
    c.alarm_field = &alarm;
    c.alarm_rule_text = &alarm_rule;
  }
};
