// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// Writes pictures of the main window (after a short run) and of the options dialog, for the
// documentation and for checking the layout by eye:  ui_screenshots OUTPUT_DIR
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>

#include "core/owner_thread.h"
#include "input/fake_audio_input.h"
#include "ui/comment_dialog.h"
#include "ui/options_dialog.h"
#include "ui_test_support.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
  const QString work = QDir::tempPath() + QStringLiteral("/blipcount-screenshots");
  QDir().mkpath(work);
  QDir::setCurrent(work);
  QFile::remove(QStringLiteral("blipcount.ini"));

  TaskQueue queue;
  CounterState state;
  state.owner = &queue;
  FakeDesktop desktop;
  auto device = std::make_shared<FakeDeviceScript>();
  CBlipcountDlg window(state, desktop,
                       [device] { return std::make_unique<FakeAudioInput>(device); });
  window.OnInitDialog();
  window.show();
  window.field(kRepeatField).SetText("5");
  // Three periods of a few clicks each: 20, 27 and 34.
  const auto run = [&](CBlipcountDlg& shown, FakeDeviceScript& script) {
    shown.OnStart();
    for (int period = 0; period < 3; ++period) {
      std::vector<uint8_t> samples(script.buffer.size(), 60);
      // Each click jumps up once and decays slowly, so only its rise counts.
      for (int i = 0; i < 20 + 7 * period; ++i) {
        for (int j = 0; j < 150; ++j) samples[300 + i * 250 + j] = static_cast<uint8_t>(210 - j);
      }
      script.Complete(samples);
      queue.RunPending();
    }
    QApplication::processEvents();
  };
  run(window, *device);
  window.grab().save(out + QStringLiteral("/main-window.png"));

  {
    // The same run with the tube's dead time and an alarm above 25 µSv/h after two periods,
    // which the last two periods (27 and 34 µSv/h) turn on.
    CounterState dosed;
    dosed.owner = &queue;
    dosed.config.dead_time_us = 100;
    dosed.config.alarm_usvh = 25.0;
    dosed.config.alarm_periods = 2;
    auto script = std::make_shared<FakeDeviceScript>();
    CBlipcountDlg alarmed(dosed, desktop,
                          [script] { return std::make_unique<FakeAudioInput>(script); });
    alarmed.OnInitDialog();
    alarmed.show();
    alarmed.field(kRepeatField).SetText("5");
    run(alarmed, *script);
    alarmed.grab().save(out + QStringLiteral("/main-window-alarm.png"));
    alarmed.reject();
  }

  desktop.on_modal = [&](QDialog& dialog) {
    dialog.show();
    QApplication::processEvents();
    dialog.grab().save(out + QStringLiteral("/options-dialog.png"));
    return int(QDialog::Rejected);
  };
  window.OnOptions();
  window.AddNotes();
  QApplication::processEvents();
  window.comment_editor()->grab().save(out + QStringLiteral("/comment-editor.png"));
  desktop.on_modal = [&](QDialog& dialog) {
    dialog.show();
    QApplication::processEvents();
    dialog.grab().save(out + QStringLiteral("/about-box.png"));
    return int(QDialog::Rejected);
  };
  window.OnAbout();
  window.reject();
  return 0;
}
