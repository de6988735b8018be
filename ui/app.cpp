// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/app.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>

#include "input/portaudio_input.h"
#include "ui/main_window.h"

void QtOwnerThread::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
}

CBlipcountApp::CBlipcountApp(AppOptions options) : options_(std::move(options)) {
  state_.owner = &owner_;
  if (!options_.make_device) {
    options_.make_device = [] { return std::make_unique<PortAudioInput>(); };
  }
}

CBlipcountApp::~CBlipcountApp() {
  // Tasks still queued refer to the state, which goes now.
  QCoreApplication::removePostedEvents(qApp);
  state_.owner = nullptr;
}

int CBlipcountApp::InitInstance() {
  Desktop& desktop = options_.desktop != nullptr ? *options_.desktop : qt_desktop_;
  {
    CBlipcountDlg window(state_, desktop, options_.make_device);
    if (options_.on_created) options_.on_created(window);
    window.OnInitDialog();
    // Shown with a loop of its own rather than modally: a modal main window would block the
    // comment editor, a window of its own that must take input beside it.
    QEventLoop loop;
    QObject::connect(&window, &QDialog::finished, &loop, &QEventLoop::quit);
    window.show();
    loop.exec();
  }
  // Posted log lines of servers or the capture that outlived the window find no controls.
  QCoreApplication::removePostedEvents(qApp);
  return 0;
}
