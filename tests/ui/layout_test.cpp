// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// The windows' layouts as built from their templates with the program's font: every text shows
// whole in its control, and none lies across the frame of a group box.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>

#include <gtest/gtest.h>

#include <string>

#include "ui/dialog_builder.h"
#include "ui/dialog_template.h"

namespace {

// Where the control draws its text (a check box's with its box), in the window's pixels.
QRect DrawnText(QWidget* widget) {
  if (auto* box = qobject_cast<QCheckBox*>(widget)) {
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    const QRect contents = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    QString shown = box->text();
    shown.remove(QLatin1Char('&'));
    const QRect text = box->fontMetrics().boundingRect(shown);
    return QRect(contents.left(), contents.top(), text.width(), contents.height())
        .united(box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box))
        .translated(box->geometry().topLeft());
  }
  auto* label = qobject_cast<QLabel*>(widget);
  const QRect area = label->contentsRect().translated(label->geometry().topLeft());
  int flags = static_cast<int>(label->alignment()) | Qt::TextWordWrap;
  if (label->buddy() != nullptr) flags |= Qt::TextShowMnemonic;
  return label->fontMetrics().boundingRect(area, flags, label->text());
}

struct TemplateCase {
  const char* name;
  const DialogTemplate& (*layout)();
};

void PrintTo(const TemplateCase& c, std::ostream* os) { *os << c.name; }

class TemplateLayout : public ::testing::TestWithParam<TemplateCase> {};

TEST_P(TemplateLayout, TextsShowWholeAndStayOnOneSideOfEachFrame) {
  const DialogTemplate& dialog = GetParam().layout();
  QWidget window;
  const BuiltDialog built = BuildDialog(window, dialog);
  std::vector<QWidget*> groups;
  for (QWidget* widget : built.InOrder()) {
    if (qobject_cast<QGroupBox*>(widget) != nullptr) groups.push_back(widget);
  }
  for (size_t i = 0; i < dialog.controls.size(); ++i) {
    QWidget* widget = built.InOrder()[static_cast<qsizetype>(i)];
    const bool text = qobject_cast<QLabel*>(widget) != nullptr &&
                      !qobject_cast<QLabel*>(widget)->text().isEmpty();
    if (!text && qobject_cast<QCheckBox*>(widget) == nullptr) continue;
    const std::string name = dialog.controls[i].text;
    const QRect drawn = DrawnText(widget);
    EXPECT_TRUE(widget->geometry().contains(drawn))
        << "\"" << name << "\" needs " << drawn.width() << " x " << drawn.height() << " pixels at "
        << drawn.x() << ", " << drawn.y() << "; its control is " << widget->width() << " x "
        << widget->height() << " at " << widget->x() << ", " << widget->y();
    for (QWidget* group : groups) {
      const QRect frame = group->geometry();
      EXPECT_TRUE(frame.contains(drawn) || !frame.intersects(drawn))
          << "\"" << name << "\" (" << drawn.left() << " to " << drawn.right()
          << ") lies across the frame of \""
          << qobject_cast<QGroupBox*>(group)->title().toStdString() << "\" (" << frame.left()
          << " to " << frame.right() << ")";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Templates, TemplateLayout,
                         ::testing::Values(TemplateCase{"main window", MainWindowTemplate},
                                           TemplateCase{"options", OptionsTemplate},
                                           TemplateCase{"comment editor", CommentEditorTemplate},
                                           TemplateCase{"about box", AboutTemplate}));

}  // namespace
