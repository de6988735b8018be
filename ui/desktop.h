// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <memory>
#include <optional>
#include <string>

class QWidget;
class QDialog;
class QUrl;
class AlarmTonePlayer;
class DesktopNotifier;

// What the windows ask of the desktop: message boxes, file choosers, links and documents,
// running a dialog modally, and the alarm's notification and tone. The program uses QtDesktop;
// tests replace it to answer without blocking. Owner thread.
class Desktop {
 public:
  virtual ~Desktop() = default;
  // A warning message box with the program's caption.
  virtual void Warning(QWidget* parent, const std::string& text) = 0;
  // Hands a document or link to the desktop; the outcome is not reported.
  virtual void OpenUrl(const QUrl& url) = 0;
  // The WAV file chooser: the chosen path, or nothing when cancelled.
  virtual std::optional<std::string> ChooseWavFile(QWidget* parent) = 0;
  // The data file chooser (asks before overwriting): the chosen path, or nothing.
  virtual std::optional<std::string> ChooseDataFile(QWidget* parent) = 0;
  // The chooser of the record's export file (CSV or JSON; asks before overwriting).
  virtual std::optional<std::string> ChooseExportFile(QWidget* parent) = 0;
  // Runs a dialog modally and returns its result.
  virtual int RunModal(QDialog& dialog) = 0;
  // A desktop notification. Returns at once; where no notification service runs, nothing
  // happens. An urgent one stays until the user dismisses it.
  virtual void Notify(const std::string& summary, const std::string& body, bool urgent) = 0;
  // The alarm's short tone on the audio output, for it going on or off. Returns at once;
  // silent where there is no output device.
  virtual void PlayAlarmTone(bool on) = 0;
};

// The desktop of the running program: Qt's dialogs, the session bus's notification service
// and PortAudio's default output, the last two made at their first use.
class QtDesktop : public Desktop {
 public:
  QtDesktop();
  ~QtDesktop() override;
  QtDesktop(const QtDesktop&) = delete;
  QtDesktop& operator=(const QtDesktop&) = delete;

  void Warning(QWidget* parent, const std::string& text) override;
  void OpenUrl(const QUrl& url) override;
  std::optional<std::string> ChooseWavFile(QWidget* parent) override;
  std::optional<std::string> ChooseDataFile(QWidget* parent) override;
  std::optional<std::string> ChooseExportFile(QWidget* parent) override;
  int RunModal(QDialog& dialog) override;
  void Notify(const std::string& summary, const std::string& body, bool urgent) override;
  void PlayAlarmTone(bool on) override;

 private:
  std::unique_ptr<DesktopNotifier> notifier_;
  std::unique_ptr<AlarmTonePlayer> tone_;
};
