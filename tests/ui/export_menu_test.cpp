// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "core/period_events.h"
#include "record/period_samples.h"
#include "record/recorder.h"
#include "support/temp_dir.h"
#include "ui/dialog_template.h"
#include "ui_test_support.h"

namespace {

using Lines = std::vector<std::string>;
constexpr int64_t kHourMs = 3600 * 1000;

// The window's context menu, opened with the right mouse button; `choose` runs on the menu
// while it is open.
void RightClick(QWidget& widget, const std::function<void(QMenu&)>& choose) {
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    seen = true;
    choose(*menu);
  });
  const QPoint at(40, 40);
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, widget.mapToGlobal(at));
  QApplication::sendEvent(&widget, &event);  // runs the menu until it closes
  EXPECT_TRUE(seen);
}

void Click(QMenu& menu, const char* text) {
  for (QAction* action : menu.actions()) {
    if (action->text().toStdString() == text) {
      QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(action).center());
      return;
    }
  }
  ADD_FAILURE() << "no menu item " << text;
  menu.close();
}

// "Export recording..." writes the last 24 hours of the record into the chosen file, on a thread
// of its own; the log says where it went and how many periods it holds.
TEST_F(UiTest, ContextMenuExportsTheLastDayOfTheRecord) {
  const int64_t now = UtcNowMs();
  {
    Recorder recorder({.path = "blipcount.db"}, nullptr);
    recorder.OnPeriod(OneSecondPeriod(now - 25 * kHourMs, 3));
    recorder.OnPeriod(OneSecondPeriod(now - 2 * kHourMs, 4));
    recorder.OnPeriod(OneSecondPeriod(now - kHourMs, 5));
    ASSERT_TRUE(recorder.WaitUntilWritten(std::chrono::seconds(10)));
  }
  const std::string target = (dir_ / "last day.csv").string();
  desktop_.export_answer = target;
  CBlipcountDlg& window = Open();

  RightClick(window, [](QMenu& menu) { Click(menu, kExportRecordingMenuText); });
  const std::string done = "Exported 2 periods to \"" + target + "\".";
  for (int i = 0; i < 200 && Log().back() != done; ++i) {
    queue_.WaitAndRun(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(
      Log(),
      (Lines{kBanner, "Exporting the last 24 hours of the record to \"" + target + "\"...", done}));
  const std::string csv = ReadFile("last day.csv");
  ASSERT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3) << csv;
  EXPECT_EQ(csv.rfind("start,end,seconds,counts,", 0), 0u) << csv;
  EXPECT_NE(csv.find(",1,4,240,"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",1,5,300,"), std::string::npos) << csv;
}

// A chooser that is cancelled exports nothing and says nothing.
TEST_F(UiTest, CancelledExportChooserDoesNothing) {
  CBlipcountDlg& window = Open();
  RightClick(window, [](QMenu& menu) { Click(menu, kExportRecordingMenuText); });
  queue_.RunPending();
  EXPECT_EQ(Log(), Lines{kBanner});
}

}  // namespace
