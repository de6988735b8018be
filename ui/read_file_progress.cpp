// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/read_file_progress.h"

#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "input/wav_input.h"

ReadFileProgress::ReadFileProgress(WavFileRead& read, const std::string& path, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      read_(read),
      bar_(new QProgressBar(this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)) {
  setWindowModality(Qt::WindowModal);
  setWindowTitle(QStringLiteral("Read File"));
  auto* label = new QLabel(QStringLiteral("Reading WAV File \"%1\"")
                               .arg(QFileInfo(QString::fromStdString(path)).fileName()),
                           this);
  bar_->setRange(0, 100);
  bar_->setValue(0);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(bar_);
  layout->addWidget(cancel_, 0, Qt::AlignRight);
  setMinimumWidth(320);
  connect(cancel_, &QPushButton::clicked, this, &ReadFileProgress::reject);
  connect(&poll_, &QTimer::timeout, this, &ReadFileProgress::Poll);
  poll_.start(kPollEvery);
  show_after_.setSingleShot(true);
  connect(&show_after_, &QTimer::timeout, this, [this] {
    if (read_.running()) show();
  });
  show_after_.start(kShowAfter);
}

void ReadFileProgress::Poll() {
  if (read_.running()) bar_->setValue(static_cast<int>(read_.progress() * 100));
}

void ReadFileProgress::reject() {
  read_.Cancel();
  cancel_->setEnabled(false);
  QDialog::reject();
}
