// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <string>

#include "core/controls.h"
#include "ui/data_exchange.h"
#include "ui/desktop.h"

// The core's control interfaces and the exchange's field interfaces over Qt widgets. The widgets
// belong to their window; these adapters only point at them. Owner thread.

class LineEditControl : public TextControl, public ExchangeField {
 public:
  explicit LineEditControl(QLineEdit* edit) : edit_(edit) {}
  // A text the program sets shows from its start, where the cursor is put, also when it is longer
  // than the field (a typed text keeps the cursor where the typing left it).
  void SetText(const std::string& text) override {
    edit_->setText(QString::fromStdString(text));
    edit_->setCursorPosition(0);
  }
  std::string Text() const override { return edit_->text().toStdString(); }
  void FocusAndSelectAll() override {
    edit_->setFocus(Qt::OtherFocusReason);
    edit_->selectAll();
  }
  QLineEdit* widget() const { return edit_; }

 private:
  QLineEdit* edit_;
};

// A static text that the program writes, such as the dead-time note.
class LabelControl : public TextControl {
 public:
  explicit LabelControl(QLabel* label) : label_(label) {}
  void SetText(const std::string& text) override { label_->setText(QString::fromStdString(text)); }
  std::string Text() const override { return label_->text().toStdString(); }

 private:
  QLabel* label_;
};

// The alarm field: a framed text, greyed while there is nothing to watch, white on red and bold
// while raised. The text always says the state too, for those who cannot tell the colours.
class BannerLabelControl : public BannerControl {
 public:
  explicit BannerLabelControl(QLabel* label) : label_(label) {
    label_->setAlignment(Qt::AlignCenter);
    label_->setWordWrap(true);
  }
  void SetBanner(const std::string& text, Look look) override {
    look_ = look;
    label_->setText(QString::fromStdString(text));
    label_->setEnabled(look != Look::kInactive);
    label_->setStyleSheet(look == Look::kRaised
                              ? QStringLiteral("QLabel { background-color: #c00000; color: white;"
                                               " font-weight: bold; border: 2px solid black; }")
                              : QString());
  }
  std::string Text() const override { return label_->text().toStdString(); }
  Look look() const override { return look_; }

 private:
  QLabel* label_;
  Look look_ = Look::kInactive;
};

class CheckBoxControl : public ExchangeCheck {
 public:
  explicit CheckBoxControl(QCheckBox* box) : box_(box) {}
  // 0 unchecked, 1 checked, 2 indeterminate (Qt numbers them 0, 2, 1).
  int State() const override {
    switch (box_->checkState()) {
      case Qt::Checked:
        return 1;
      case Qt::PartiallyChecked:
        return 2;
      default:
        return 0;
    }
  }
  void SetState(int state) override {
    box_->setCheckState(state == 1   ? Qt::Checked
                        : state == 2 ? Qt::PartiallyChecked
                                     : Qt::Unchecked);
  }

 private:
  QCheckBox* box_;
};

class PushButtonControl : public ButtonControl {
 public:
  explicit PushButtonControl(QPushButton* button) : button_(button) {}
  void SetEnabled(bool enabled) override { button_->setEnabled(enabled); }
  bool IsEnabled() const override { return button_->isEnabled(); }

 private:
  QPushButton* button_;
};

// The exchange's warnings as the desktop's message boxes, over a window.
class WindowMessages : public MessageSink {
 public:
  WindowMessages(Desktop& desktop, QWidget* window) : desktop_(desktop), window_(window) {}
  void Warning(const std::string& text) override { desktop_.Warning(window_, text); }

 private:
  Desktop& desktop_;
  QWidget* window_;
};
