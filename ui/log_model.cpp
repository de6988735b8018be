// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/log_model.h"

#include <QAbstractItemView>
#include <QTimer>

#include <climits>

int LogModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  // A view counts rows in int; lines beyond that are kept but not shown.
  return ends_.size() > INT_MAX ? INT_MAX : static_cast<int>(ends_.size());
}

QVariant LogModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() < 0 ||
      static_cast<size_t>(index.row()) >= ends_.size()) {
    return {};
  }
  const size_t row = static_cast<size_t>(index.row());
  const uint64_t begin = row == 0 ? 0 : ends_[row - 1];
  return QString::fromUtf8(text_.data() + begin, static_cast<qsizetype>(ends_[row] - begin));
}

std::string LogModel::Line(size_t row) const {
  if (row >= ends_.size()) return {};
  const uint64_t begin = row == 0 ? 0 : ends_[row - 1];
  return text_.substr(begin, ends_[row] - begin);
}

void LogModel::Append(const std::string& line) {
  const int row = static_cast<int>(std::min<size_t>(ends_.size(), INT_MAX));
  const bool shown = ends_.size() < INT_MAX;
  if (shown) beginInsertRows(QModelIndex(), row, row);
  text_ += line;
  ends_.push_back(text_.size());
  if (shown) endInsertRows();
}

void LogModel::Clear() {
  beginResetModel();
  std::string().swap(text_);
  std::vector<uint64_t>().swap(ends_);
  endResetModel();
}

void LogListControl::AddLine(const std::string& line) {
  model_->Append(line);
  // Scrolling lays the view's items out again, so a burst of lines scrolls once, when the event
  // loop next runs and before anything is painted.
  if (!scroll_pending_) {
    scroll_pending_ = true;
    QTimer::singleShot(0, view_, [this] {
      scroll_pending_ = false;
      view_->scrollToBottom();
    });
  }
  if (observer_) observer_(line);
}
