// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <QAbstractListModel>

#include <cstdint>
#include <functional>
#include <string>

#include "core/controls.h"
#include "ui/log_text.h"

class QAbstractItemView;

// The log list's lines for the view, kept in LogText: about the text itself plus two
// bytes a line, and never copied as the log grows.
class LogModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  void Append(const std::string& line);
  void Clear();
  size_t size() const { return text_.size(); }
  std::string Line(size_t row) const;

 private:
  LogText text_;
};

// The log list as the core sees it: each line appended and scrolled into view. The control must
// not outlive the view.
class LogListControl : public LogControl {
 public:
  LogListControl(QAbstractItemView* view, LogModel* model) : view_(view), model_(model) {}
  void AddLine(const std::string& line) override;
  size_t LineCount() const override { return model_->size(); }
  void Clear() override { model_->Clear(); }

  // Called with every line after it is shown (for watching the program from outside).
  void SetObserver(std::function<void(const std::string&)> observer) {
    observer_ = std::move(observer);
  }

 private:
  QAbstractItemView* view_;
  LogModel* model_;
  std::function<void(const std::string&)> observer_;
  bool scroll_pending_ = false;
};
