// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <QDialog>

#include <string>

#include "core/counter_state.h"
#include "ui/dialog_builder.h"

class QPlainTextEdit;

// The comment editor: a modeless window made once and kept, hidden between uses, so that its
// text survives. OK saves the text into `state.notes` and hides; Escape and the close box hide
// without saving. GUI thread.
class CCommentDlg : public QDialog {
 public:
  explicit CCommentDlg(CounterState& state);

  // The saving exchange: the editor's text into `notes` (typed line breaks as "\r\n").
  const std::string& DoDataExchange();
  void accept() override;

  QPlainTextEdit* editor() const { return editor_; }

 private:
  CounterState& state_;
  BuiltDialog built_;
  QPlainTextEdit* editor_;
};
