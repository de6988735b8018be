// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/scripted_desktop.h"

#include "ui/options_dialog.h"

std::optional<std::string> ScriptedDesktop::ChooseDataFile(QWidget*) { return data_file_; }

int ScriptedDesktop::RunModal(QDialog& dialog) {
  auto* options = dynamic_cast<COptionsDlg*>(&dialog);
  if (options == nullptr) return QtDesktop::RunModal(dialog);
  options->show();
  options->OnSaveAs();
  options->OnStartServer();
  options->OnOK();
  return options->result();
}
