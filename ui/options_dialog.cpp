// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/options_dialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "files/data_file.h"
#include "server/status_server.h"
#include "ui/comment_dialog.h"
#include "ui/main_window.h"

COptionsDlg::COptionsDlg(CBlipcountDlg& owner)
    : QDialog(&owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      owner_(owner),
      built_(BuildDialog(*this, OptionsTemplate())),
      messages_(owner.desktop(), this) {
  // Modal to the main window only: the comment editor, a window of its own, stays usable.
  setWindowModality(Qt::WindowModal);
  for (int id : {kPortField, kTicksField, kGraphTitleField, kScrollWidthField}) {
    fields_[id] = std::make_unique<LineEditControl>(built_.Get<QLineEdit>(id));
  }
  for (int id : {kInsertCommasBox, kConnectPointsBox, kVerticalBarsBox, kTextGraphBox,
                 kAutostartBox, kWriteJpgBox, kFillBox, kCoincidenceBox, kLogConfidenceBox}) {
    boxes_[id] = std::make_unique<CheckBoxControl>(built_.Get<QCheckBox>(id));
  }
  const auto on_click = [this](int id, void (COptionsDlg::*command)()) {
    connect(built_.Get<QPushButton>(id), &QPushButton::clicked, this, command);
  };
  on_click(kDoneButton, &COptionsDlg::OnOK);
  on_click(kSaveAsButton, &COptionsDlg::OnSaveAs);
  on_click(kStartServerButton, &COptionsDlg::OnStartServer);
  on_click(kAddNotesButton, &COptionsDlg::OnAddNotes);
  on_click(kReadFileButton, &COptionsDlg::OnReadFile);
}

LineEditControl& COptionsDlg::Field(int id) { return *fields_.at(id); }
CheckBoxControl& COptionsDlg::Box(int id) { return *boxes_.at(id); }

void COptionsDlg::OnInitDialog() { DoDataExchange(DataExchange::Direction::kLoad); }

bool COptionsDlg::DoDataExchange(DataExchange::Direction direction) {
  DataExchange dx(direction, messages_);
  dx.Check(Box(kInsertCommasBox), insert_commas);
  dx.Unsigned(kPortField, Field(kPortField), port, 1, 65535);
  dx.Unsigned(kTicksField, Field(kTicksField), ticks_per_minute, 0, UINT32_MAX);
  dx.Check(Box(kConnectPointsBox), connect_points);
  dx.Check(Box(kVerticalBarsBox), vertical_bars);
  dx.Check(Box(kTextGraphBox), text_graph);
  dx.Check(Box(kAutostartBox), autostart);
  dx.Text(Field(kGraphTitleField), graph_title);
  dx.Unsigned(kScrollWidthField, Field(kScrollWidthField), scroll_width, 1, 999999);
  dx.Check(Box(kWriteJpgBox), write_jpg);
  dx.Check(Box(kFillBox), fill);
  dx.Check(Box(kCoincidenceBox), coincidence);
  dx.Check(Box(kLogConfidenceBox), log_confidence);
  if (direction == DataExchange::Direction::kSave) failed_ = dx.failed_id();
  return dx.ok();
}

void COptionsDlg::OnOK() {
  if (DoDataExchange(DataExchange::Direction::kSave)) accept();
}

void COptionsDlg::OnSaveAs() {
  // The two check boxes count as they are shown; a failed number does not stop the export.
  DoDataExchange(DataExchange::Direction::kSave);
  const std::optional<std::string> path = owner_.desktop().ChooseDataFile(this);
  if (!path) return;
  CBlipcountDlg& owner = owner_;
  SaveDataFile(owner.state(), *path, insert_commas != 0, text_graph != 0, [&owner] {
    CCommentDlg* editor = owner.comment_editor();
    return editor != nullptr ? editor->DoDataExchange() : owner.state().notes;
  });
}

void COptionsDlg::OnStartServer() {
  DoDataExchange(DataExchange::Direction::kSave);
  // A port that failed its check starts nothing; a failure further on does not concern the port.
  if (failed_ == kPortField) return;
  owner_.KeepServer(StartStatusServer(owner_.state(), port));
}

void COptionsDlg::OnAddNotes() { owner_.AddNotes(); }

void COptionsDlg::OnReadFile() {
  const std::optional<std::string> path = owner_.desktop().ChooseWavFile(this);
  if (!path) return;
  owner_.ReadWavFile(*path, this);
}
