// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/dialog_builder.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include "ui/log_view.h"
#include "ui/pictures.h"

#include <algorithm>

QFont DialogFont(const DialogTemplate& dialog) {
  QFont font(QString::fromUtf8(dialog.font_family));
  font.setPointSize(dialog.font_points);
  if (!QFontInfo(font).exactMatch()) {
    font = QFont();
    font.setStyleHint(QFont::SansSerif);
    font.setFamilies({QStringLiteral("Sans Serif"), QStringLiteral("DejaVu Sans")});
    font.setPointSize(dialog.font_points);
  }
  return font;
}

BaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int alphabet = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return BaseUnits{(alphabet + 26) / 52, metrics.height()};
}

QSize ClientSize(const DialogTemplate& dialog) {
  const BaseUnits units = BaseUnitsOf(DialogFont(dialog));
  return QSize(units.X(dialog.width), units.Y(dialog.height));
}

namespace {

QWidget* MakeControl(const ControlTemplate& control, QWidget& parent) {
  const QString text = QString::fromUtf8(control.text);
  switch (control.kind) {
    case ControlKind::kEdit: {
      auto* edit = new QLineEdit(&parent);
      edit->setReadOnly((control.styles & kStyleReadOnly) != 0);
      return edit;
    }
    case ControlKind::kMultiLineEdit: {
      auto* edit = new QPlainTextEdit(&parent);
      edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
      edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      edit->setTabChangesFocus(true);
      return edit;
    }
    case ControlKind::kPushButton:
    case ControlKind::kDefaultPushButton: {
      auto* button = new QPushButton(text, &parent);
      // Enter presses the focused button or the template's default one, as in any dialog.
      button->setAutoDefault(true);
      button->setDefault(control.kind == ControlKind::kDefaultPushButton);
      return button;
    }
    case ControlKind::kCheckBox:
      return new QCheckBox(text, &parent);
    case ControlKind::kText:
    case ControlKind::kTextRight:
    case ControlKind::kTextCentreBorder: {
      auto* label = new QLabel(text, &parent);
      label->setWordWrap(true);
      label->setTextFormat(Qt::PlainText);
      Qt::Alignment align = Qt::AlignTop;
      if (control.kind == ControlKind::kTextRight) align |= Qt::AlignRight;
      if (control.kind == ControlKind::kTextCentreBorder) {
        align |= Qt::AlignHCenter;
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
      }
      label->setAlignment(align);
      return label;
    }
    case ControlKind::kGroupBox: {
      auto* group = new QGroupBox(text, &parent);
      group->setFocusPolicy(Qt::NoFocus);
      // The title sits on the frame's top line, as the templates' layouts expect: the frame
      // begins half a text line below the box's top.
      group->setStyleSheet(QStringLiteral(
          "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.5em; }"
          "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
          " left: 6px; padding: 0 2px; }"));
      return group;
    }
    case ControlKind::kListBox: {
      auto* list = new LogView(&parent);
      list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      list->setEditTriggers(QAbstractItemView::NoEditTriggers);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      return list;
    }
    case ControlKind::kIcon: {
      auto* label = new QLabel(&parent);
      label->setPixmap(ProgramIcon().pixmap(32, 32));
      return label;
    }
    case ControlKind::kPicture: {
      auto* label = new QLabel(&parent);
      label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->setPixmap(AboutPicture());
      return label;  // sized to its picture below
    }
  }
  return nullptr;
}

// A word wider than its text control cannot wrap and would be cut off: the control grows to fit
// it, away from the side its text is aligned to. The templates were laid out with a font whose
// letters are narrower, relative to its base units, than those of the fonts found here.
void FitLongestWord(QLabel& label, ControlKind kind) {
  const int flags =
      Qt::AlignLeft | Qt::AlignTop | (label.buddy() != nullptr ? Qt::TextShowMnemonic : 0);
  int widest = 0;
  for (const QString& word : label.text().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    widest = std::max(
        widest,
        label.fontMetrics().boundingRect(QRect(0, 0, 1 << 16, 1 << 16), flags, word).width());
  }
  const int extra = widest - label.contentsRect().width();
  if (extra <= 0) return;
  QRect area = label.geometry();
  if (kind == ControlKind::kTextRight) {
    area.setLeft(area.left() - extra);
  } else if (kind == ControlKind::kTextCentreBorder) {
    area.setLeft(area.left() - extra / 2);
    area.setRight(area.right() + extra - extra / 2);
  } else {
    area.setRight(area.right() + extra);
  }
  label.setGeometry(area);
}

bool TakesFocus(ControlKind kind) {
  switch (kind) {
    case ControlKind::kEdit:
    case ControlKind::kMultiLineEdit:
    case ControlKind::kPushButton:
    case ControlKind::kDefaultPushButton:
    case ControlKind::kCheckBox:
    case ControlKind::kListBox:
      return true;
    default:
      return false;
  }
}

}  // namespace

BuiltDialog BuildDialog(QWidget& window, const DialogTemplate& dialog) {
  BuiltDialog built;
  const QFont font = DialogFont(dialog);
  window.setFont(font);
  built.units_ = BaseUnitsOf(font);
  const BaseUnits& units = built.units_;
  window.setWindowTitle(QString::fromUtf8(dialog.caption));
  const QSize size(units.X(dialog.width), units.Y(dialog.height));
  if (dialog.styles & kWindowSizable) {
    window.resize(size);  // resizing moves no control
  } else {
    window.setFixedSize(size);
  }

  QWidget* previous_focus = nullptr;
  for (const ControlTemplate& control : dialog.controls) {
    QWidget* widget = MakeControl(control, window);
    widget->setGeometry(units.X(control.x), units.Y(control.y), units.X(control.width),
                        units.Y(control.height));
    if (control.kind == ControlKind::kPicture) {
      // A picture control takes the size of its picture, whatever the template says.
      auto* label = static_cast<QLabel*>(widget);
      const int frame = 2 * label->frameWidth();
      label->resize(label->pixmap().size() + QSize(frame, frame));
    }
    if (control.styles & kStyleDisabled) widget->setEnabled(false);
    if (TakesFocus(control.kind)) {
      widget->setFocusPolicy(Qt::StrongFocus);
      if (previous_focus != nullptr) QWidget::setTabOrder(previous_focus, widget);
      previous_focus = widget;
    } else {
      // Texts, frames and pictures neither take the focus nor catch the mouse: the controls
      // that lie inside a group box stay clickable.
      widget->setFocusPolicy(Qt::NoFocus);
      widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    if (control.id != kNoId) built.by_id_.insert(control.id, widget);
    built.in_order_.append(widget);
  }
  // Group boxes lie under everything else, whatever their place in the template.
  for (QWidget* widget : std::as_const(built.in_order_)) {
    if (qobject_cast<QGroupBox*>(widget) != nullptr) widget->lower();
  }
  for (size_t i = 0; i < dialog.controls.size(); ++i) {
    const ControlTemplate& control = dialog.controls[i];
    auto* label = qobject_cast<QLabel*>(built.in_order_[static_cast<qsizetype>(i)]);
    if (label == nullptr) continue;
    // A text's mnemonic moves the focus to the control it names.
    if (control.buddy != kNoId) label->setBuddy(built.Control(control.buddy));
    if (!label->text().isEmpty()) FitLongestWord(*label, control.kind);
  }
  return built;
}
