// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <QAbstractItemView>
#include <QPersistentModelIndex>
#include <QSize>

// The log list's view: one column of rows of one height, shown as a list view with uniform item
// sizes shows them (the same delegate, item rectangles, per-row scrolling and selection), but
// without laying out every row again whenever a row is added. A row's place is its number times
// the row height, so adding a line, scrolling to it and painting cost the same with ten lines
// or ten million. GUI thread only.
class LogView : public QAbstractItemView {
 public:
  explicit LogView(QWidget* parent = nullptr);

  QRect visualRect(const QModelIndex& index) const override;
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  QModelIndex indexAt(const QPoint& point) const override;
  void setModel(QAbstractItemModel* model) override;
  void reset() override;

 protected:
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  int horizontalOffset() const override;
  int verticalOffset() const override;
  bool isIndexHidden(const QModelIndex& index) const override;
  void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
  QRegion visualRegionForSelection(const QItemSelection& selection) const override;
  void initViewItemOption(QStyleOptionViewItem* option) const override;

  void paintEvent(QPaintEvent* event) override;
  void updateGeometries() override;
  void scrollContentsBy(int dx, int dy) override;
  bool viewportEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void rowsInserted(const QModelIndex& parent, int start, int end) override;
  void dataChanged(const QModelIndex& top_left, const QModelIndex& bottom_right,
                   const QList<int>& roles = QList<int>()) override;

 private:
  int Rows() const;
  // Every row's size: the delegate's size of the last row, as a list view with uniform item
  // sizes takes it, measured again after each change.
  QSize ItemSize() const;
  int RowHeight() const;
  // Rows that fit in the viewport whole: the vertical scroll bar's page.
  int PageRows() const;
  // The width of a row's rectangle: the item's width or the viewport's, whichever is wider.
  int RowWidth() const;
  void SizesChanged();
  void SetHover(const QModelIndex& index);

  mutable QSize item_size_;  // invalid until measured
  QPersistentModelIndex hover_;
};
