// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/log_model.h"

#include <QAbstractItemView>
#include <QTimer>

#include <climits>

int LogModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  // A view counts rows in int; lines beyond that are kept but not shown.
  return text_.size() > INT_MAX ? INT_MAX : static_cast<int>(text_.size());
}

QVariant LogModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() < 0 ||
      static_cast<size_t>(index.row()) >= text_.size()) {
    return {};
  }
  const std::string_view line = text_.Line(static_cast<size_t>(index.row()));
  return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
}

std::string LogModel::Line(size_t row) const { return std::string(text_.Line(row)); }

void LogModel::Append(const std::string& line) {
  const int row = static_cast<int>(std::min<size_t>(text_.size(), INT_MAX));
  const bool shown = text_.size() < INT_MAX;
  if (shown) beginInsertRows(QModelIndex(), row, row);
  text_.Append(line);
  if (shown) endInsertRows();
}

void LogModel::Clear() {
  beginResetModel();
  text_.Clear();
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
