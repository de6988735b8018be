// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/startup_clock.h"

#include <QDialog>
#include <QEvent>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdio>

namespace {

std::chrono::steady_clock::time_point main_entry = std::chrono::steady_clock::now();

class FirstPaintFilter : public QObject {
 public:
  explicit FirstPaintFilter(QDialog& window) : QObject(&window), window_(window) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &window_ && event->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      std::fprintf(stderr, "first paint after %.1f ms\n",
                   StartupClock::MillisecondsSinceMainEntry());
      QTimer::singleShot(0, &window_, &QDialog::reject);
    }
    return false;
  }

 private:
  QDialog& window_;
  bool seen_ = false;
};

}  // namespace

void StartupClock::MarkMainEntry() { main_entry = std::chrono::steady_clock::now(); }

double StartupClock::MillisecondsSinceMainEntry() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - main_entry)
      .count();
}

void StartupClock::QuitAfterFirstPaint(QWidget& window) {
  auto* dialog = qobject_cast<QDialog*>(&window);
  if (dialog == nullptr) return;
  dialog->installEventFilter(new FirstPaintFilter(*dialog));
}
