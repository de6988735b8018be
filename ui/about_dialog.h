// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <QDialog>

#include "ui/desktop.h"
#include "ui/dialog_builder.h"

// Where the About box's two buttons lead.
inline constexpr char kClubPageUrl[] = "https://club.example.org/blipcount/";
inline constexpr char kEmailUrl[] = "mailto:developers@example.org";

// The About box: name, description, credit, picture and two link buttons. A new one for each
// use, run modally. GUI thread.
class CAboutDlg : public QDialog {
 public:
  CAboutDlg(Desktop& desktop, QWidget* parent);
  const BuiltDialog& controls() const { return built_; }

 private:
  BuiltDialog built_;
};
