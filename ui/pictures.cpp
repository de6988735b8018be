// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/pictures.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

// A meter's dial with a pulse on its trace, readable at 16 pixels.
QPixmap DrawIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  painter.setPen(QPen(QColor(0x20, 0x20, 0x20), s / 16));
  painter.setBrush(QColor(0xff, 0xd0, 0x20));
  painter.drawRoundedRect(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92), s * 0.15, s * 0.15);
  QPainterPath trace;
  trace.moveTo(s * 0.1, s * 0.65);
  trace.lineTo(s * 0.38, s * 0.65);
  trace.lineTo(s * 0.48, s * 0.18);
  trace.lineTo(s * 0.58, s * 0.82);
  trace.lineTo(s * 0.66, s * 0.65);
  trace.lineTo(s * 0.9, s * 0.65);
  painter.setPen(QPen(QColor(0x00, 0x50, 0x00), std::max(1.0, s / 12)));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(trace);
  return QPixmap::fromImage(image);
}

}  // namespace

QIcon ProgramIcon() {
  QIcon icon;
  icon.addPixmap(DrawIcon(32));
  icon.addPixmap(DrawIcon(16));
  return icon;
}

QPixmap AboutPicture() {
  QImage image(204, 147, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  // Night sky over a hill, with a counter on the hill and a few particle tracks.
  QLinearGradient sky(0, 0, 0, 147);
  sky.setColorAt(0, QColor(0x10, 0x18, 0x40));
  sky.setColorAt(1, QColor(0x40, 0x60, 0xa0));
  painter.fillRect(image.rect(), sky);
  painter.setPen(QPen(QColor(0xff, 0xff, 0xc0, 200), 1.2));
  const int tracks[][4] = {{20, 0, 60, 90}, {120, 0, 100, 95}, {170, 0, 140, 100}, {80, 0, 95, 92}};
  for (const auto& t : tracks) painter.drawLine(t[0], t[1], t[2], t[3]);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x20, 0x50, 0x20));
  painter.drawEllipse(QRectF(-40, 100, 284, 120));
  painter.setBrush(QColor(0xff, 0xd0, 0x20));
  painter.setPen(QPen(Qt::black, 1.5));
  painter.drawRoundedRect(QRectF(72, 82, 60, 34), 5, 5);
  painter.setBrush(Qt::white);
  painter.drawRect(QRectF(78, 87, 48, 16));
  painter.setPen(QPen(QColor(0xc0, 0, 0), 1.5));
  painter.drawLine(QPointF(102, 101),
                   QPointF(102 + 12 * std::cos(-0.9), 101 + 12 * std::sin(-0.9)));
  painter.setPen(Qt::black);
  QFont font = painter.font();
  font.setPixelSize(10);
  painter.setFont(font);
  painter.drawText(QRectF(0, 128, 204, 16), Qt::AlignCenter,
                   QStringLiteral("click ... click ... click"));
  painter.end();
  return QPixmap::fromImage(image);
}
