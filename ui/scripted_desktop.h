// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <string>

#include "ui/desktop.h"

// The desktop of a program watched from outside by a test: the data file chooser answers with a
// fixed path, and the Options dialog, when it runs, presses Save As, Start Server and Done by
// itself. Everything else is the Qt desktop.
class ScriptedDesktop : public QtDesktop {
 public:
  explicit ScriptedDesktop(std::string data_file) : data_file_(std::move(data_file)) {}
  std::optional<std::string> ChooseDataFile(QWidget* parent) override;
  int RunModal(QDialog& dialog) override;

 private:
  std::string data_file_;
};
