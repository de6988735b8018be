// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QListView>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/report.h"
#include "ui/dialog_builder.h"
#include "ui/dialog_template.h"
#include "ui/log_model.h"

namespace {

std::string PeriodLine(int i) {
  return FormatPeriodLine(false, static_cast<uint32_t>(i), 40 + i % 17, 2400.0 + i % 17 * 60, 600.0,
                          2712.5);
}

// The main window's controls, shown: its log list over a model of its own, fed through the
// control the program logs through. With `reference`, the list is a list view as the log was
// shown before: uniform item sizes, the same scroll bar, editing and selection settings.
struct ShownLog {
  explicit ShownLog(bool reference = false) {
    built = BuildDialog(window, MainWindowTemplate());
    view = built.Get<QAbstractItemView>(kLogList);
    if (reference) {
      auto* list = new QListView(&window);
      list->setUniformItemSizes(true);
      list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      list->setEditTriggers(QAbstractItemView::NoEditTriggers);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      list->setGeometry(view->geometry());
      view->hide();
      view = list;
    }
    view->setModel(&model);
    control = std::make_unique<LogListControl>(view, &model);
    window.show();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  // A point of the list's viewport in the window's coordinates.
  QPoint InWindow(QPoint in_viewport) const {
    return view->viewport()->mapTo(&window, in_viewport);
  }

  QDialog window;
  BuiltDialog built;
  QAbstractItemView* view = nullptr;
  LogModel model;
  std::unique_ptr<LogListControl> control;
};

using Steps = std::function<void(ShownLog&)>;

void AddLines(ShownLog& log, int count, int first = 0) {
  for (int i = first; i < first + count; ++i) {
    log.control->AddLine(PeriodLine(i));
    if (i % 3 == 0) log.control->AddLine(FormatConfidenceLine(40 + i % 17, 60.0));
  }
  QApplication::processEvents();
}

// What the user sees of the list, and where its scroll bars and selection are.
struct Seen {
  QImage picture;
  int top = 0, vertical_max = 0, left = 0, horizontal_max = 0, current = -1;
  QList<QModelIndex> selected;
};

Seen Shown(bool reference, const Steps& steps) {
  ShownLog log(reference);
  steps(log);
  QApplication::processEvents();
  Seen seen;
  seen.picture = log.view->grab().toImage();
  seen.top = log.view->verticalScrollBar()->value();
  seen.vertical_max = log.view->verticalScrollBar()->maximum();
  seen.left = log.view->horizontalScrollBar()->value();
  seen.horizontal_max = log.view->horizontalScrollBar()->maximum();
  seen.current = log.view->currentIndex().row();
  seen.selected = log.view->selectionModel()->selectedRows();
  return seen;
}

// The log list shows, pixel for pixel, what the list view it replaces showed, after the same
// lines and the same clicks and keys through the window.
TEST(LogView, ShowsWhatTheListViewShowed) {
  const auto click = [](ShownLog& log, QPoint at) {
    QTest::mouseClick(log.window.windowHandle(), Qt::LeftButton, {}, log.InWindow(at));
    QApplication::processEvents();
  };
  const auto key = [](ShownLog& log, Qt::Key k) {
    QTest::keyClick(log.window.windowHandle(), k);
    QApplication::processEvents();
  };
  const struct {
    const char* name;
    Steps steps;
  } cases[] = {
      {"empty", [](ShownLog&) {}},
      {"three lines, all in view", [](ShownLog& log) { AddLines(log, 2); }},
      {"many lines, scrolled to the newest", [](ShownLog& log) { AddLines(log, 300); }},
      {"lines added in three turns",
       [](ShownLog& log) {
         for (int turn = 0; turn < 3; ++turn) AddLines(log, 5, turn * 5);
       }},
      {"a line clicked",
       [&](ShownLog& log) {
         AddLines(log, 40);
         click(log, QPoint(30, 25));
       }},
      {"a click below the last line",
       [&](ShownLog& log) {
         AddLines(log, 1);
         click(log, QPoint(30, 15));
         click(log, QPoint(30, 80));
       }},
      {"the keys after a click",
       [&](ShownLog& log) {
         AddLines(log, 40);
         click(log, QPoint(30, 40));
         for (Qt::Key k : {Qt::Key_Up, Qt::Key_Up, Qt::Key_PageUp, Qt::Key_Down}) key(log, k);
       }},
      {"Home and End",
       [&](ShownLog& log) {
         AddLines(log, 40);
         click(log, QPoint(30, 5));
         key(log, Qt::Key_Home);
         AddLines(log, 3, 40);  // a new line brings the newest back into view
         key(log, Qt::Key_End);
       }},
      {"the newest line wider than the list",
       [](ShownLog& log) {
         AddLines(log, 10);
         log.control->AddLine(PeriodLine(1) + " and much more text " + PeriodLine(2));
         QApplication::processEvents();
       }},
      {"cleared, then new lines",
       [](ShownLog& log) {
         AddLines(log, 30);
         log.control->Clear();
         AddLines(log, 2, 100);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Seen expected = Shown(true, c.steps);
    const Seen seen = Shown(false, c.steps);
    EXPECT_EQ(seen.top, expected.top);
    EXPECT_EQ(seen.vertical_max, expected.vertical_max);
    EXPECT_EQ(seen.left, expected.left);
    EXPECT_EQ(seen.horizontal_max, expected.horizontal_max);
    EXPECT_EQ(seen.current, expected.current);
    EXPECT_EQ(seen.selected.size(), expected.selected.size());
    for (int i = 0; i < std::min(seen.selected.size(), expected.selected.size()); ++i) {
      EXPECT_EQ(seen.selected[i].row(), expected.selected[i].row());
    }
    EXPECT_TRUE(seen.picture == expected.picture);
    if (seen.picture != expected.picture) {
      seen.picture.save(QStringLiteral("log_view_seen.png"));
      expected.picture.save(QStringLiteral("log_view_expected.png"));
    }
  }
}

// A model that counts the rows the view asks it for.
class CountingModel : public LogModel {
 public:
  QModelIndex index(int row, int column, const QModelIndex& parent) const override {
    ++asked;
    return LogModel::index(row, column, parent);
  }
  mutable long asked = 0;
};

// A period as a run adds it, two lines and one turn of the event loop, asks the model for
// about as many rows with 20,000 lines in the log as with 10: the rows in view, not every row.
TEST(LogView, APeriodAsksForTheRowsInViewWhateverTheLogHolds) {
  const auto rows_asked = [](int lines) {
    QDialog window;
    BuiltDialog built = BuildDialog(window, MainWindowTemplate());
    auto* view = built.Get<QAbstractItemView>(kLogList);
    CountingModel model;
    for (int i = 0; i < lines; ++i) model.Append(PeriodLine(i));
    view->setModel(&model);
    LogListControl control(view, &model);
    window.show();
    QApplication::processEvents();
    model.asked = 0;
    control.AddLine(PeriodLine(lines));
    control.AddLine(FormatConfidenceLine(40, 60.0));
    QApplication::processEvents();
    EXPECT_EQ(view->indexAt(QPoint(5, view->viewport()->height() - 5)).row(), lines + 1)
        << "the newest line is in view";
    return model.asked;
  };
  const long short_log = rows_asked(10);
  const long long_log = rows_asked(20000);
  EXPECT_GT(short_log, 0);
  EXPECT_LT(long_log, 2 * short_log + 20) << short_log << " rows asked with 10 lines";
}

}  // namespace
