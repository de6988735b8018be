// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <QDialog>
#include <QTimer>

#include <chrono>
#include <string>

class QProgressBar;
class QPushButton;
class WavFileRead;

// The progress of a Read File: the percentage of the file counted and a Cancel button, in a
// small dialog modal to the window that gave the command. It shows only once the read has taken
// longer than half a second, so a short file is read without it. Cancel (or Escape, or the close
// box) asks the read to stop; whoever began the read removes the dialog when the read has
// finished. GUI thread; `read` must outlive it.
class ReadFileProgress : public QDialog {
 public:
  ReadFileProgress(WavFileRead& read, const std::string& path, QWidget* parent);

  static constexpr std::chrono::milliseconds kShowAfter{500};
  static constexpr std::chrono::milliseconds kPollEvery{50};

  void reject() override;

  QProgressBar* bar() const { return bar_; }
  QPushButton* cancel_button() const { return cancel_; }

 private:
  void Poll();

  WavFileRead& read_;
  QProgressBar* bar_;
  QPushButton* cancel_;
  QTimer poll_;
  QTimer show_after_;
};
