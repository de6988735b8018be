// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <optional>
#include <string>

class QWidget;
class QDialog;
class QUrl;

// What the windows ask of the desktop: message boxes, file choosers, links and documents, and
// running a dialog modally. The program uses QtDesktop; tests replace it to answer without
// blocking. Owner thread.
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
};

class QtDesktop : public Desktop {
 public:
  void Warning(QWidget* parent, const std::string& text) override;
  void OpenUrl(const QUrl& url) override;
  std::optional<std::string> ChooseWavFile(QWidget* parent) override;
  std::optional<std::string> ChooseDataFile(QWidget* parent) override;
  std::optional<std::string> ChooseExportFile(QWidget* parent) override;
  int RunModal(QDialog& dialog) override;
};
