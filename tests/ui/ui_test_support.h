// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <QDialog>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/counter_state.h"
#include "core/owner_thread.h"
#include "input/fake_audio_input.h"
#include "ui/desktop.h"
#include "ui/main_window.h"

// A desktop that answers at once: it records the warnings and the links, gives the choosers'
// answers set by the test, and runs a modal dialog by calling the test's function on it.
class FakeDesktop : public Desktop {
 public:
  void Warning(QWidget*, const std::string& text) override { warnings.push_back(text); }
  void OpenUrl(const QUrl& url) override { urls.push_back(url); }
  std::optional<std::string> ChooseWavFile(QWidget*) override { return wav_answer; }
  std::optional<std::string> ChooseDataFile(QWidget*) override { return data_answer; }
  std::optional<std::string> ChooseExportFile(QWidget*) override { return export_answer; }
  int RunModal(QDialog& dialog) override {
    ++modal_runs;
    return on_modal ? on_modal(dialog) : QDialog::Rejected;
  }
  void Notify(const std::string& summary, const std::string& body, bool urgent) override {
    notifications.push_back(summary + " | " + body + (urgent ? " | urgent" : ""));
    if (on_notify) on_notify(summary, body, urgent);
  }
  void PlayAlarmTone(bool on) override { tones.push_back(on); }

  std::vector<std::string> warnings;
  std::vector<QUrl> urls;
  std::optional<std::string> wav_answer;
  std::optional<std::string> data_answer;
  std::optional<std::string> export_answer;
  std::function<int(QDialog&)> on_modal;
  int modal_runs = 0;
  std::vector<std::string> notifications;
  std::function<void(const std::string&, const std::string&, bool)> on_notify;
  std::vector<bool> tones;
};

// A temporary working directory, a state whose owner thread is a plain queue, a fake line input
// and a fake desktop: the main window as the program makes it, with nothing that blocks.
class UiTest : public ::testing::Test {
 protected:
  UiTest();
  ~UiTest() override;

  // Makes the window and opens it (as the program does before it runs it).
  CBlipcountDlg& Open();
  CBlipcountDlg& window() { return *window_; }
  // Ends the window the way the program does when its dialog ends, then destroys it.
  void Close();

  std::vector<std::string> Log() const;
  std::string Text(int id);
  void Type(int id, const std::string& text);
  // The device completes the queued period with `bytes` of silence and the completion runs.
  bool CompletePeriod();
  // Runs the event loop and the owner's queue until Read File has finished; false on time-out.
  bool WaitForReadFile();
  // The same with a period holding exactly `clicks` clicks (a divisor of 11025).
  bool CompletePeriodWithClicks(uint32_t clicks);
  std::string ReadFile(const std::string& name) const;

  std::filesystem::path dir_;
  std::filesystem::path previous_dir_;
  TaskQueue queue_;
  CounterState state_;
  FakeDesktop desktop_;
  std::shared_ptr<FakeDeviceScript> device_ = std::make_shared<FakeDeviceScript>();
  std::unique_ptr<CBlipcountDlg> window_;
};
