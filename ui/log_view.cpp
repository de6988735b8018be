// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/log_view.h"

#include <QEvent>
#include <QHoverEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace {

// Pixel positions of rows far from the viewport exceed an int; they are only ever compared.
int ClampToInt(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

}  // namespace

LogView::LogView(QWidget* parent) : QAbstractItemView(parent) { setSelectionBehavior(SelectRows); }

void LogView::setModel(QAbstractItemModel* model) {
  QAbstractItemView::setModel(model);
  SizesChanged();
  if (model != nullptr) {
    // Removals and moves are not the log's; should a model make them, everything is measured
    // again.
    const auto relaid = [this] {
      SizesChanged();
      updateGeometries();
      viewport()->update();
    };
    connect(model, &QAbstractItemModel::rowsRemoved, this, relaid);
    connect(model, &QAbstractItemModel::layoutChanged, this, relaid);
  }
}

void LogView::reset() {
  QAbstractItemView::reset();
  hover_ = QPersistentModelIndex();
  SizesChanged();
}

int LogView::Rows() const { return model() == nullptr ? 0 : model()->rowCount(rootIndex()); }

QSize LogView::ItemSize() const {
  if (!item_size_.isValid()) {
    item_size_ = QSize(0, 0);
    const int rows = Rows();
    if (rows > 0) {
      const QModelIndex last = model()->index(rows - 1, 0, rootIndex());
      QStyleOptionViewItem option;
      initViewItemOption(&option);
      if (const QAbstractItemDelegate* delegate = itemDelegateForIndex(last)) {
        item_size_ = delegate->sizeHint(option, last);
      }
    }
  }
  return item_size_;
}

int LogView::RowHeight() const { return ItemSize().height(); }

int LogView::PageRows() const {
  const int height = RowHeight();
  return height > 0 ? viewport()->height() / height : 0;
}

int LogView::RowWidth() const { return std::max(ItemSize().width(), viewport()->width()); }

void LogView::SizesChanged() { item_size_ = QSize(); }

int LogView::horizontalOffset() const { return horizontalScrollBar()->value(); }

int LogView::verticalOffset() const {
  return ClampToInt(int64_t{verticalScrollBar()->value()} * RowHeight());
}

bool LogView::isIndexHidden(const QModelIndex&) const { return false; }

QRect LogView::visualRect(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != model() || index.parent() != rootIndex() ||
      index.column() != 0) {
    return {};
  }
  const int height = RowHeight();
  const int64_t rows_above = int64_t{index.row()} - verticalScrollBar()->value();
  return {-horizontalOffset(), ClampToInt(rows_above * height), RowWidth(), height};
}

QModelIndex LogView::indexAt(const QPoint& point) const {
  const int height = RowHeight();
  if (height <= 0 || point.y() < 0) return {};
  const int64_t row = int64_t{verticalScrollBar()->value()} + point.y() / height;
  const int x = point.x() + horizontalOffset();
  if (row >= Rows() || x < 0 || x >= RowWidth()) return {};
  return model()->index(static_cast<int>(row), 0, rootIndex());
}

void LogView::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (!index.isValid() || index.parent() != rootIndex()) return;
  executeDelayedItemsLayout();  // the scroll bar's range includes the rows just added
  const int row = index.row();
  const int top = verticalScrollBar()->value();
  const int page = std::max(1, PageRows());
  int value = top;
  switch (hint) {
    case EnsureVisible:
      if (row < top) {
        value = row;
      } else if (row - top >= page) {
        value = row - page + 1;
      }
      break;
    case PositionAtTop:
      value = row;
      break;
    case PositionAtBottom:
      value = row - page + 1;
      break;
    case PositionAtCenter:
      value = row - page / 2;
      break;
  }
  verticalScrollBar()->setValue(value);  // the scroll bar keeps it in its range
}

QModelIndex LogView::moveCursor(CursorAction action, Qt::KeyboardModifiers) {
  executeDelayedItemsLayout();
  const int rows = Rows();
  if (rows == 0) return {};
  const QModelIndex current = currentIndex();
  if (!current.isValid()) return model()->index(0, 0, rootIndex());
  const int page = std::max(1, PageRows() - 1);
  int row = current.row();
  switch (action) {
    case MoveUp:
    case MovePrevious:
      row -= 1;
      break;
    case MoveDown:
    case MoveNext:
      row += 1;
      break;
    case MovePageUp:
      row -= page;
      break;
    case MovePageDown:
      row += page;
      break;
    case MoveHome:
      row = 0;
      break;
    case MoveEnd:
      row = rows - 1;
      break;
    case MoveLeft:
    case MoveRight:
      break;
  }
  return model()->index(std::clamp(row, 0, rows - 1), 0, rootIndex());
}

void LogView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
  if (selectionModel() == nullptr) return;
  QItemSelection selection;
  const int height = RowHeight();
  const QRect area = rect.normalized();
  if (height > 0 && Rows() > 0 && area.bottom() >= 0) {
    const int64_t top = verticalScrollBar()->value();
    const int64_t first = top + std::max(0, area.top()) / height;
    const int64_t last = std::min<int64_t>(Rows() - 1, top + area.bottom() / height);
    if (first <= last) {
      selection.select(model()->index(static_cast<int>(first), 0, rootIndex()),
                       model()->index(static_cast<int>(last), 0, rootIndex()));
    }
  }
  // An empty selection still carries the command, so a click below the last line clears.
  selectionModel()->select(selection, command);
}

QRegion LogView::visualRegionForSelection(const QItemSelection& selection) const {
  QRegion region;
  const int height = RowHeight();
  const int64_t top = verticalScrollBar()->value();
  for (const QItemSelectionRange& range : selection) {
    if (!range.isValid() || range.parent() != rootIndex()) continue;
    const int64_t y = (range.top() - top) * height;
    const int64_t bottom = (int64_t{range.bottom()} + 1 - top) * height;
    const QRect rows(-horizontalOffset(), ClampToInt(y), RowWidth(), ClampToInt(bottom - y));
    region += rows.intersected(viewport()->rect());
  }
  return region;
}

void LogView::initViewItemOption(QStyleOptionViewItem* option) const {
  QAbstractItemView::initViewItemOption(option);
  // As a list view in list mode sets its items out.
  if (!iconSize().isValid()) {
    const int icon = style()->pixelMetric(QStyle::PM_ListViewIconSize, nullptr, this);
    option->decorationSize = QSize(icon, icon);
  }
  option->decorationPosition = QStyleOptionViewItem::Left;
  option->viewItemPosition = QStyleOptionViewItem::OnlyOne;
}

void LogView::paintEvent(QPaintEvent* event) {
  const int rows = Rows();
  const int height = RowHeight();
  if (rows == 0 || height <= 0) return;
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  QPainter painter(viewport());

  // Only the rows the event's rectangle touches.
  const QRect area = event->rect();
  const int64_t top = verticalScrollBar()->value();
  const int64_t first = top + std::max(0, area.top()) / height;
  const int64_t last = std::min<int64_t>(rows - 1, top + std::max(0, area.bottom()) / height);

  const QModelIndex current = currentIndex();
  const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
  const QStyle::State state = option.state;
  const bool enabled = (state & QStyle::State_Enabled) != 0;
  const QItemSelectionModel* selections = selectionModel();
  for (int64_t row = first; row <= last; ++row) {
    const QModelIndex index = model()->index(static_cast<int>(row), 0, rootIndex());
    option.rect = visualRect(index);
    option.state = state;
    if (selections != nullptr && selections->isSelected(index)) {
      option.state |= QStyle::State_Selected;
    }
    if (enabled) {
      const bool item_enabled = (model()->flags(index) & Qt::ItemIsEnabled) != 0;
      if (!item_enabled) option.state &= ~QStyle::State_Enabled;
      option.palette.setCurrentColorGroup(item_enabled ? QPalette::Normal : QPalette::Disabled);
    }
    if (focus && current == index) {
      option.state |= QStyle::State_HasFocus;
      if (this->state() == EditingState) option.state |= QStyle::State_Editing;
    }
    option.state.setFlag(QStyle::State_MouseOver, index == hover_);
    if (alternatingRowColors()) {
      option.features.setFlag(QStyleOptionViewItem::Alternate, row % 2 == 1);
      // The row's background; the rest is the delegate's.
      QStyleOptionViewItem background = option;
      background.state &= ~QStyle::State_Selected;
      style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &background, &painter, this);
    }
    itemDelegateForIndex(index)->paint(&painter, option, index);
  }
}

void LogView::updateGeometries() {
  const int rows = Rows();
  const QSize item = ItemSize();
  if (geometry().isEmpty() || rows <= 0 || item.height() <= 0) {
    horizontalScrollBar()->setRange(0, 0);
    verticalScrollBar()->setRange(0, 0);
  } else {
    // The horizontal bar counts pixels over the width of one item.
    horizontalScrollBar()->setSingleStep(item.width());
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setRange(0, std::max(0, item.width() - viewport()->width()));
    // Shown or hidden at once, so that the viewport has its final height for the rows.
    QEvent layout(QEvent::LayoutRequest);
    QAbstractItemView::event(&layout);
    // The vertical bar counts rows: its page is the rows that fit whole, or all of them (and one
    // more) where they all fit.
    const bool all_fit = int64_t{rows} * item.height() <= viewport()->height();
    const int page = all_fit ? rows + 1 : viewport()->height() / item.height();
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setPageStep(page);
    verticalScrollBar()->setRange(0, std::max(0, rows - page));
  }
  QAbstractItemView::updateGeometries();
}

void LogView::scrollContentsBy(int dx, int dy) {
  // The vertical bar moves in rows.
  viewport()->scroll(dx, ClampToInt(int64_t{dy} * RowHeight()));
}

bool LogView::viewportEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
      SetHover(indexAt(static_cast<QHoverEvent*>(event)->position().toPoint()));
      break;
    case QEvent::HoverLeave:
    case QEvent::Leave:
      SetHover(QModelIndex());
      break;
    default:
      break;
  }
  return QAbstractItemView::viewportEvent(event);
}

void LogView::SetHover(const QModelIndex& index) {
  if (hover_ == index) return;
  update(hover_);
  hover_ = index;
  update(hover_);
}

void LogView::changeEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::StyleChange:
    case QEvent::LayoutDirectionChange:
      SizesChanged();
      break;
    default:
      break;
  }
  QAbstractItemView::changeEvent(event);
}

void LogView::rowsInserted(const QModelIndex& parent, int start, int end) {
  QAbstractItemView::rowsInserted(parent, start, end);
  if (parent != rootIndex()) return;
  // The last row is new, and every row takes its size: measured again, and the scroll bars and
  // the rows in view set anew, once the event loop next runs (or when the view is scrolled
  // before that), however many lines came in the meantime.
  SizesChanged();
  scheduleDelayedItemsLayout();
}

void LogView::dataChanged(const QModelIndex& top_left, const QModelIndex& bottom_right,
                          const QList<int>& roles) {
  QAbstractItemView::dataChanged(top_left, bottom_right, roles);
  SizesChanged();
  updateGeometries();
}
