// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstddef>
#include <string>

// The main window's controls as the measurement code sees them. The Qt main window implements
// them with its widgets; tests use in-memory fakes. Every function is called on the owner (GUI)
// thread only; code on other threads posts to it (see core/owner_thread.h).

class TextControl {
 public:
  virtual ~TextControl() = default;
  virtual void SetText(const std::string& text) = 0;
  virtual std::string Text() const = 0;
};

class LogControl {
 public:
  virtual ~LogControl() = default;
  // Appends a last line and brings it into view at once.
  virtual void AddLine(const std::string& line) = 0;
  virtual size_t LineCount() const = 0;
  virtual void Clear() = 0;
};

class ButtonControl {
 public:
  virtual ~ButtonControl() = default;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool IsEnabled() const = 0;
};

// A field that tells a state in words and stands out while it is raised: the alarm field.
class BannerControl {
 public:
  enum class Look {
    kInactive,  // nothing to watch: greyed
    kQuiet,     // watching, all is well
    kRaised,    // the alarm is on: stands out, and its text says so
  };
  virtual ~BannerControl() = default;
  virtual void SetBanner(const std::string& text, Look look) = 0;
  virtual std::string Text() const = 0;
  virtual Look look() const = 0;
};

// The graph window as the per-period processing sees it: a repaint request of the whole client
// area, without erasing.
class RepaintTarget {
 public:
  virtual ~RepaintTarget() = default;
  virtual void Repaint() = 0;
};

// The references to the main window's controls. Null until the window is initialised (and again
// after it is gone): writes through a null reference are skipped.
struct MainControls {
  TextControl* counts_field = nullptr;      // 1001
  TextControl* cpm_field = nullptr;         // 1009
  TextControl* mrhr_field = nullptr;        // 1010
  TextControl* avg_cpm_field = nullptr;     // 1019
  TextControl* avg_mrhr_field = nullptr;    // 1020
  LogControl* log_list = nullptr;           // 1003
  ButtonControl* start_button = nullptr;    // 1006
  ButtonControl* cancel_button = nullptr;   // 1007
  ButtonControl* graph_button = nullptr;    // 1013
  TextControl* repeat_field = nullptr;      // 1002
  TextControl* sampletime_field = nullptr;  // 1008
  // The dose fields beside the results.
  TextControl* usvh_field = nullptr;              // 1033
  TextControl* avg_usvh_field = nullptr;          // 1034
  TextControl* avg_uncertainty_field = nullptr;   // 1035
  TextControl* dead_time_note = nullptr;          // 1036, beside the CPM
  TextControl* dose_since_zero_field = nullptr;   // 1037
  TextControl* dose_since_start_field = nullptr;  // 1038
  BannerControl* alarm_field = nullptr;           // 1039
  TextControl* alarm_rule_text = nullptr;         // 1040
};
