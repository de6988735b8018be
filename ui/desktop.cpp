// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/desktop.h"

#include "input/alarm_tone.h"
#include "ui/desktop_notifier.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace {

std::optional<std::string> RunChooser(QFileDialog& chooser) {
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return std::nullopt;
  return chooser.selectedFiles().constFirst().toStdString();
}

}  // namespace

void QtDesktop::Warning(QWidget* parent, const std::string& text) {
  // The caption is the program file's name, as for every message of the data exchange.
  QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                  QString::fromStdString(text), QMessageBox::Ok, parent);
  box.exec();
}

void QtDesktop::OpenUrl(const QUrl& url) {
  // Nothing visible happens when no program takes the link.
  QDesktopServices::openUrl(url);
}

std::optional<std::string> QtDesktop::ChooseWavFile(QWidget* parent) {
  QFileDialog chooser(parent);
  chooser.setAcceptMode(QFileDialog::AcceptOpen);
  chooser.setFileMode(QFileDialog::ExistingFile);
  chooser.setDefaultSuffix(QStringLiteral("wav"));
  chooser.setNameFilters({QStringLiteral("Wave Audio (monaural 8 bit 11,025 KHz) (*.wav)"),
                          QStringLiteral("All Files (*)")});
  chooser.selectFile(QStringLiteral("audio.wav"));
  return RunChooser(chooser);
}

std::optional<std::string> QtDesktop::ChooseDataFile(QWidget* parent) {
  QFileDialog chooser(parent);
  chooser.setAcceptMode(QFileDialog::AcceptSave);
  chooser.setFileMode(QFileDialog::AnyFile);
  chooser.setDefaultSuffix(QStringLiteral("txt"));
  chooser.setNameFilters({QStringLiteral("Text (*.txt)"), QStringLiteral("All Files (*)")});
  chooser.selectFile(QStringLiteral("data.txt"));
  // Asking before overwriting is the chooser's default.
  return RunChooser(chooser);
}

std::optional<std::string> QtDesktop::ChooseExportFile(QWidget* parent) {
  QFileDialog chooser(parent);
  chooser.setWindowTitle(QStringLiteral("Export recording"));
  chooser.setAcceptMode(QFileDialog::AcceptSave);
  chooser.setFileMode(QFileDialog::AnyFile);
  chooser.setDefaultSuffix(QStringLiteral("csv"));
  chooser.setNameFilters({QStringLiteral("CSV (*.csv)"), QStringLiteral("JSON (*.json)"),
                          QStringLiteral("All Files (*)")});
  chooser.selectFile(QStringLiteral("blipcount-record.csv"));
  return RunChooser(chooser);
}

int QtDesktop::RunModal(QDialog& dialog) { return dialog.exec(); }

QtDesktop::QtDesktop() = default;

QtDesktop::~QtDesktop() = default;

void QtDesktop::Notify(const std::string& summary, const std::string& body, bool urgent) {
  if (!notifier_)
    notifier_ = std::make_unique<DesktopNotifier>(DesktopNotifier::SessionBusAddress());
  notifier_->Notify(QString::fromStdString(summary), QString::fromStdString(body), urgent);
}

void QtDesktop::PlayAlarmTone(bool on) {
  if (!tone_) tone_ = std::make_unique<AlarmTonePlayer>();
  tone_->Play(on);
}
