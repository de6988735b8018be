// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "graph/graph_dialog.h"

#include <QColor>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>
#include <QResizeEvent>
#include <QScreen>
#include <cstdlib>
#include <mutex>

#include "graph/bitmap_file.h"

namespace {

// The template's size, 287 x 94 dialog units of an 8-point dialog font (6 x 13 base units).
constexpr int kInitialWidth = 430;
constexpr int kInitialHeight = 153;

QColor ColorOf(uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(0xFF000000u | rgb)); }

// Text the way the window's surface draws it: its top-left corner at `at`, in an opaque box.
void DrawOpaqueText(QPainter& painter, const QFontMetrics& metrics, QPoint at, const QString& text,
                    const QColor& foreground, const QColor& background) {
  painter.fillRect(QRect(at.x(), at.y(), metrics.horizontalAdvance(text), metrics.height()),
                   background);
  painter.setPen(foreground);
  painter.drawText(at.x(), at.y() + metrics.ascent(), text);
}

int DisplayDepth(const QWidget& widget) {
  const QScreen* screen = widget.screen();
  const int depth = screen != nullptr ? screen->depth() : 0;
  return depth > 0 ? depth : 24;
}

// A one-pixel line from `from` towards `to`, leaving `to` itself out, as the window's lines are
// drawn: the next segment starts there, so a joint is set once. Qt's own aliased lines choose
// which end to leave out by direction, so the pixels are set here. Pixels outside the picture
// are skipped; the layout keeps every point within a few pixels of it.
void DrawLine(QImage& image, uchar* bits, GraphPoint from, GraphPoint to, QRgb color) {
  const int64_t dx = std::abs(int64_t{to.x} - from.x);
  const int64_t dy = -std::abs(int64_t{to.y} - from.y);
  const int sx = from.x < to.x ? 1 : -1;
  const int sy = from.y < to.y ? 1 : -1;
  const qsizetype stride = image.bytesPerLine();
  const int width = image.width();
  const int height = image.height();
  int64_t error = dx + dy;
  int x = from.x;
  int y = from.y;
  while (x != to.x || y != to.y) {
    if (x >= 0 && x < width && y >= 0 && y < height) {
      reinterpret_cast<QRgb*>(bits + y * stride)[x] = color;
    }
    const int64_t twice = 2 * error;
    if (twice >= dy) {
      error += dy;
      x += sx;
    }
    if (twice <= dx) {
      error += dx;
      y += sy;
    }
  }
}

}  // namespace

void PaintGraph(const GraphPicture& picture, const QFont& font, QImage& image) {
  if (image.isNull()) return;
  // Taken before the painter starts, so that the picture is not shared (and not copied) while
  // the lines are set into it.
  uchar* const bits = image.bits();
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setFont(font);
  const QFontMetrics metrics(font, &image);
  const QColor black = ColorOf(RgbFromColorref(kBackgroundColorref));

  for (const GraphStep& step : picture.steps) {
    switch (step.kind) {
      case GraphStepKind::kBackground:
        painter.fillRect(QRect(0, 0, step.to.x, step.to.y), ColorOf(step.rgb));
        break;
      case GraphStepKind::kPixelRow:
        if (step.to.x > step.from.x) {
          painter.fillRect(QRect(step.from.x, step.from.y, step.to.x - step.from.x, 1),
                           ColorOf(step.rgb));
        }
        break;
      case GraphStepKind::kLabel:
        DrawOpaqueText(painter, metrics, QPoint(step.from.x, step.from.y),
                       QString::fromUtf8(step.text), ColorOf(step.rgb), black);
        break;
      case GraphStepKind::kLine:
        DrawLine(image, bits, step.from, step.to, 0xFF000000u | step.rgb);
        break;
      case GraphStepKind::kFill: {
        const QPoint corners[4] = {{step.corners[0].x, step.corners[0].y},
                                   {step.corners[1].x, step.corners[1].y},
                                   {step.corners[2].x, step.corners[2].y},
                                   {step.corners[3].x, step.corners[3].y}};
        painter.setPen(Qt::NoPen);
        painter.setBrush(ColorOf(step.rgb));
        painter.drawPolygon(corners, 4, Qt::OddEvenFill);
        painter.setBrush(Qt::NoBrush);
        break;
      }
    }
  }
}

CGraphDlg::CGraphDlg(CounterState& state, QWidget* owner)
    : QDialog(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      state_(state),
      font_(QFontDatabase::systemFont(QFontDatabase::GeneralFont)) {
  setModal(false);
  // Every pass covers the whole client area, so the platform must not erase it first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setWindowTitle(QString::fromUtf8(kGraphTemplateCaption));
  resize(kInitialWidth, kInitialHeight);
}

CGraphDlg::~CGraphDlg() {
  if (state_.graphdlg == this) state_.graphdlg = nullptr;
}

void CGraphDlg::Repaint() {
  pass_requested_ = true;
  update();
}

bool CGraphDlg::DrawingPass() {
  // Every write of the history happens on this (the GUI) thread, so reading it needs no lock.
  GraphInput input;
  input.history = state_.history.entries();
  input.iteration = state_.iteration;
  input.repeat = state_.repeat;
  input.scrollwidth = state_.scrollwidth;
  input.sampletime = state_.sampletime;
  input.connectpoints = state_.connectpoints != 0;
  input.verticalbars = state_.verticalbars != 0;
  input.fillgraph = state_.fillgraph != 0;
  input.width = width();
  input.height = height();

  const GraphPicture picture = LayOutGraph(input);
  if (!picture.drawn) return false;
  state_.graph_full_scale = picture.full_scale;
  {
    std::lock_guard lock(state_.shared_mutex);
    state_.average_counts = picture.average_counts;
  }

  const QSize size(std::max(input.width, 0), std::max(input.height, 0));
  if (size.isEmpty()) {
    picture_ = QImage();
  } else {
    if (picture_.size() != size || picture_.format() != QImage::Format_RGB32) {
      picture_ = QImage(size, QImage::Format_RGB32);
    }
    PaintGraph(picture, font_, picture_);
  }
  return true;
}

void CGraphDlg::paintEvent(QPaintEvent* /*event*/) {
  // A paint that only adds the click readout shows the last picture again; every other paint (a
  // repaint request, a resize, an exposure) is a drawing pass, which covers the readout.
  const bool pass = pass_requested_ || !readout_pending_;
  pass_requested_ = false;
  readout_pending_ = false;
  const bool drew = pass && DrawingPass();
  if (drew) readout_.reset();

  QPainter window(this);
  const QRect client = rect();
  if (picture_.isNull()) {
    window.fillRect(client, palette().window());
  } else {
    // One copy of the finished picture, so the window never shows a half-drawn graph.
    window.drawImage(0, 0, picture_);
    const QRegion uncovered = QRegion(client) - QRegion(picture_.rect());
    for (const QRect& part : uncovered) window.fillRect(part, palette().window());
  }
  if (readout_) {
    window.setFont(font_);
    const QFontMetrics metrics(font_, this);
    DrawOpaqueText(window, metrics, readout_->at, readout_->text, Qt::black, Qt::white);
    DrawOpaqueText(window, metrics, readout_->at + QPoint(0, metrics.height()), readout_->dose_text,
                   Qt::black, Qt::white);
  }

  if (drew && !picture_.isNull() && (state_.server_running.load() || state_.savegraph != 0)) {
    const PixelView view{reinterpret_cast<const uint32_t*>(picture_.constBits()), picture_.width(),
                         picture_.height(),
                         static_cast<size_t>(picture_.bytesPerLine()) / sizeof(uint32_t)};
    ExportGraph(state_, view, DisplayDepth(*this));
  }
}

void CGraphDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  Repaint();
}

void CGraphDlg::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    const QPoint at = event->position().toPoint();
    readout_ =
        Readout{QPoint(at.x() + 10, at.y()),
                QString::fromUtf8(GraphReadout(at.x(), at.y(), height(), state_.graph_full_scale)),
                QString::fromUtf8(GraphDoseReadout(at.y(), height(), state_.graph_full_scale,
                                                   state_.sampletime, state_.scale,
                                                   state_.config.dead_time_us))};
    readout_pending_ = true;
    update();
  }
  QDialog::mousePressEvent(event);
}

void CGraphDlg::keyPressEvent(QKeyEvent* event) {
  // A dialog without buttons still ends the OK way on Enter; that hides the window.
  const bool plain = event->modifiers() == Qt::NoModifier ||
                     (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
  if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);  // Escape: the dialog's cancel, which hides it too
}

void OnGraphCommand(CounterState& state, std::unique_ptr<CGraphDlg>& graph, QWidget* owner) {
  if (!graph) {
    state.graph_open = true;
    graph = std::make_unique<CGraphDlg>(state, owner);
    SetGraphCaption(state, graph.get());
    state.graphdlg = graph.get();
  }
  graph->showNormal();
  graph->raise();
  graph->activateWindow();
  graph->Repaint();
}

void SetGraphCaption(const CounterState& state, CGraphDlg* graph) {
  if (graph != nullptr) graph->setWindowTitle(QString::fromUtf8(state.graphtitle));
}
