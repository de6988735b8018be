// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <QDialog>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/data_exchange.h"
#include "ui/dialog_builder.h"
#include "ui/qt_controls.h"

class CBlipcountDlg;

// The options dialog: every setting the main window does not show, and the buttons Save As,
// Start Server, Add Notes and Read File. Run modally by the main window's Options command, which
// seeds its members before and applies them after Done. GUI thread.
class COptionsDlg : public QDialog {
 public:
  explicit COptionsDlg(CBlipcountDlg& owner);

  // The values, in the order of the exchange. Check states are 0, 1 (or 2).
  int32_t insert_commas = 0;
  uint32_t port = 0;
  uint32_t ticks_per_minute = 0;
  int32_t connect_points = 0;
  int32_t vertical_bars = 0;
  int32_t text_graph = 0;
  int32_t autostart = 0;
  std::string graph_title;
  uint32_t scroll_width = 0;
  int32_t write_jpg = 0;
  int32_t fill = 0;
  int32_t coincidence = 0;
  int32_t log_confidence = 0;

  // Loads the members into the controls (call after seeding, before the dialog runs).
  void OnInitDialog();
  bool DoDataExchange(DataExchange::Direction direction);
  // The control that failed the last saving exchange, if any.
  std::optional<int> failed_control() const { return failed_; }

  // The buttons.
  void OnOK();  // Done
  void OnSaveAs();
  void OnStartServer();
  void OnAddNotes();
  void OnReadFile();

  const BuiltDialog& controls() const { return built_; }

 private:
  CBlipcountDlg& owner_;
  BuiltDialog built_;
  WindowMessages messages_;
  std::map<int, std::unique_ptr<LineEditControl>> fields_;
  std::map<int, std::unique_ptr<CheckBoxControl>> boxes_;
  std::optional<int> failed_;

  LineEditControl& Field(int id);
  CheckBoxControl& Box(int id);
};
