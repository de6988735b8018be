// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <QDialog>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QString>
#include <memory>
#include <optional>

#include "core/controls.h"
#include "core/counter_state.h"
#include "graph/graph_layout.h"

class QKeyEvent;
class QMouseEvent;
class QPaintEvent;
class QResizeEvent;

// The caption the window has before the Graph command gives it `graphtitle`.
inline constexpr const char kGraphTemplateCaption[] =
    "Blipcount             Activity Graph     Counts Per Minute";

// Replays the steps of a pass into `image` (RGB32, the client size) in their order: labels in
// `font` on opaque black boxes, one-pixel white lines without their end point, odd-even fills.
void PaintGraph(const GraphPicture& picture, const QFont& font, QImage& image);

// The activity graph window: modeless, resizable, one per program. Closing it (close box,
// Escape, Enter) hides it; it lives until its owner destroys it. Every function runs on the GUI
// thread.
class CGraphDlg : public QDialog, public RepaintTarget {
  Q_OBJECT

 public:
  // `state` must outlive the window. `owner` (the main window) becomes the Qt parent, so the
  // window stays above it; whoever holds the window must destroy it before `owner` goes.
  CGraphDlg(CounterState& state, QWidget* owner);
  ~CGraphDlg() override;

  // Asks for a drawing pass of the whole client area, without erasing.
  void Repaint() override;

  // The last picture the window drew (null before the first pass that drew).
  const QImage& picture() const { return picture_; }
  // The click readout on show, empty when none: its first line, and the dose rate below it.
  QString readout() const { return readout_ ? readout_->text : QString(); }
  QString dose_readout() const { return readout_ ? readout_->dose_text : QString(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Draws the whole picture off-screen and returns whether the pass drew (the run is long
  // enough to show).
  bool DrawingPass();

  struct Readout {
    QPoint at;
    QString text;
    QString dose_text;  // drawn one line below `text`
  };

  CounterState& state_;
  QFont font_;
  QImage picture_;
  std::optional<Readout> readout_;  // shown until the next pass that draws
  bool pass_requested_ = false;     // Repaint() asked for a drawing pass
  bool readout_pending_ = false;    // a click asked to show its readout
};

// The main window's Graph command: creates the window on first use (caption `graphtitle`,
// `state.graphdlg` pointing at it, `graph_open` set), then shows it restored and active and
// asks for a drawing pass. `graph` must be destroyed before `owner`.
void OnGraphCommand(CounterState& state, std::unique_ptr<CGraphDlg>& graph, QWidget* owner);

// Sets the window's caption to `state.graphtitle` again (after the Options dialog); does nothing
// before the window exists.
void SetGraphCaption(const CounterState& state, CGraphDlg* graph);
