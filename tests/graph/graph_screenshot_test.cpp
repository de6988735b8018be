// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// The graph window as a user sees it after an hour of a survey: bars, fill and lines on, and one
// click readout. Saves the window to the PNG named by the first argument (graph-window.png when
// none) and checks that the saved picture shows the graph. Under a real display (Xvfb) it is the
// picture in docs/; under the offscreen platform it is a test.
#include <QApplication>
#include <QImage>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <memory>

#include "core/counter_state.h"
#include "graph/graph_dialog.h"

namespace {

bool Shows(const QImage& image, QRgb rgb) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if ((image.pixel(x, y) & 0xFFFFFF) == rgb) return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const QString out =
      argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("graph-window.png");

  // Sixty one-minute periods around 40 counts, with a source carried past the meter halfway.
  CounterState state;
  state.sampletime = 60;
  state.repeat = 60;
  state.iteration = 60;
  state.verticalbars = 1;
  state.fillgraph = 1;
  state.connectpoints = 1;
  state.history = CountHistory::Allocate(60);
  for (int i = 0; i < 60; ++i) {
    const double wobble = 6.0 * std::sin(i * 0.9) + 4.0 * std::cos(i * 2.3);
    const double source = 90.0 * std::exp(-std::pow((i - 34) / 4.0, 2.0));
    state.history.Store(i, static_cast<uint32_t>(40.0 + wobble + source));
  }

  std::unique_ptr<CGraphDlg> graph;
  OnGraphCommand(state, graph, nullptr);
  graph->resize(640, 260);
  if (!QTest::qWaitForWindowExposed(graph.get())) {
    std::fprintf(stderr, "the graph window was never shown\n");
    return 1;
  }
  graph->Repaint();
  graph->repaint();
  QTest::mouseClick(graph.get(), Qt::LeftButton, Qt::NoModifier, QPoint(360, 60));
  const QImage shown = graph->grab().toImage();
  if (!shown.save(out)) {
    std::fprintf(stderr, "cannot write %s\n", out.toLocal8Bit().constData());
    return 1;
  }

  const QImage saved(out);
  const struct {
    const char* what;
    QRgb rgb;
  } expected[] = {{"grid", 0x404096},  {"grid labels", 0x8080C0}, {"average", 0x960000},
                  {"lines", 0xFFFFFF}, {"fill", 0x007800},        {"background", 0x000000}};
  int failures = 0;
  if (saved.size() != QSize(640, 260)) {
    std::fprintf(stderr, "saved picture is %dx%d, not 640x260\n", saved.width(), saved.height());
    ++failures;
  }
  for (const auto& colour : expected) {
    if (!Shows(saved, colour.rgb)) {
      std::fprintf(stderr, "no %s colour in the saved picture\n", colour.what);
      ++failures;
    }
  }
  graph.reset();
  return failures == 0 ? 0 : 1;
}
