// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <memory>

#include "core/counter_state.h"
#include "core/owner_thread.h"
#include "input/capture_controller.h"
#include "ui/desktop.h"

class CBlipcountDlg;

// Runs the owner's tasks on the Qt event loop of the GUI thread, in posting order.
class QtOwnerThread : public OwnerThread {
 public:
  void Post(std::function<void()> task) override;
};

// How the program is put together: the real desktop and the real audio input, unless a test
// gives others.
struct AppOptions {
  Desktop* desktop = nullptr;                    // null: the Qt desktop
  CaptureController::DeviceFactory make_device;  // null: the PortAudio line input
  // Called once the main window exists, before it opens.
  std::function<void(CBlipcountDlg&)> on_created;
};

// The application: one state record, the owner thread and the main window, run modally. A
// QApplication must exist for its whole life.
class CBlipcountApp {
 public:
  explicit CBlipcountApp(AppOptions options = {});
  ~CBlipcountApp();
  CBlipcountApp(const CBlipcountApp&) = delete;
  CBlipcountApp& operator=(const CBlipcountApp&) = delete;

  // Creates the main window, opens it, runs it until it ends, destroys it. Returns the exit code.
  int InitInstance();

  CounterState& state() { return state_; }

 private:
  AppOptions options_;
  QtDesktop qt_desktop_;
  QtOwnerThread owner_;
  CounterState state_;
};
