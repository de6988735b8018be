// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/comment_dialog.h"

#include <QPlainTextEdit>
#include <QPushButton>

#include "core/period_events.h"

CCommentDlg::CCommentDlg(CounterState& state)
    // No Qt parent: the editor stays usable while a modal dialog of the main window runs. The
    // main window owns the object and destroys it when it goes.
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      state_(state),
      built_(BuildDialog(*this, CommentEditorTemplate())),
      editor_(built_.Get<QPlainTextEdit>(kCommentField)) {
  QString text = QString::fromStdString(state_.notes);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  editor_->setPlainText(text);
  connect(built_.Get<QPushButton>(kCommentOkButton), &QPushButton::clicked, this,
          &CCommentDlg::accept);
}

const std::string& CCommentDlg::DoDataExchange() {
  QString text = editor_->toPlainText();
  text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  state_.notes = text.toStdString();
  return state_.notes;
}

void CCommentDlg::accept() {
  TellNotes(state_, DoDataExchange());
  QDialog::accept();
}
