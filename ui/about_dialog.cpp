// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/about_dialog.h"

#include <QPushButton>
#include <QUrl>

CAboutDlg::CAboutDlg(Desktop& desktop, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      built_(BuildDialog(*this, AboutTemplate())) {
  connect(built_.Get<QPushButton>(kAboutDoneButton), &QPushButton::clicked, this,
          &CAboutDlg::accept);
  // The links go to the desktop; neither closes the box.
  connect(built_.Get<QPushButton>(kClubLinkButton), &QPushButton::clicked, this,
          [&desktop] { desktop.OpenUrl(QUrl(QString::fromUtf8(kClubPageUrl))); });
  connect(built_.Get<QPushButton>(kEmailButton), &QPushButton::clicked, this,
          [&desktop] { desktop.OpenUrl(QUrl(QString::fromUtf8(kEmailUrl))); });
}
