// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <QFont>
#include <QHash>
#include <QList>
#include <QSize>

#include "ui/dialog_template.h"

class QWidget;
class QAbstractItemModel;

// The dialog font's base units in pixels, which turn dialog units into pixels:
// x_px = x_du * horizontal / 4, y_px = y_du * vertical / 8.
struct BaseUnits {
  int horizontal = 0;
  int vertical = 0;

  int X(int du) const { return du * horizontal / 4; }
  int Y(int du) const { return du * vertical / 8; }
};

// The template's font, or the system's sans-serif of the same size where it is missing.
QFont DialogFont(const DialogTemplate& dialog);
BaseUnits BaseUnitsOf(const QFont& font);

// The widgets made from a template, by identifier and in template order.
class BuiltDialog {
 public:
  QWidget* Control(int id) const { return by_id_.value(id, nullptr); }
  template <class T>
  T* Get(int id) const {
    return qobject_cast<T*>(Control(id));
  }
  const QList<QWidget*>& InOrder() const { return in_order_; }
  BaseUnits units() const { return units_; }

 private:
  friend BuiltDialog BuildDialog(QWidget& window, const DialogTemplate& dialog);
  QHash<int, QWidget*> by_id_;
  QList<QWidget*> in_order_;
  BaseUnits units_;
};

// Makes the template's controls as children of `window`: their geometry in pixels, the tab order
// of the template, the mnemonics, the caption, the font and the fixed client size. The window's
// flags are left to its class (a dialog, a top-level window).
BuiltDialog BuildDialog(QWidget& window, const DialogTemplate& dialog);

// The client size of the template in pixels.
QSize ClientSize(const DialogTemplate& dialog);
