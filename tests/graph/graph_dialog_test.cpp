// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "graph/graph_dialog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImageReader>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/counter_state.h"
#include "core/report.h"

namespace {

constexpr QRgb kBlack = 0x000000;
constexpr QRgb kGrid = 0x404096;
constexpr QRgb kGridLabel = 0x8080C0;
constexpr QRgb kAverage = 0x960000;
constexpr QRgb kAverageLabel = 0xC00000;
constexpr QRgb kWhite = 0xFFFFFF;
constexpr QRgb kFill = 0x007800;

QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

bool AnyPixelIn(const QImage& image, QRect area, QRgb rgb) {
  area = area.intersected(image.rect());
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (At(image, x, y) == rgb) return true;
    }
  }
  return false;
}

// A state holding the ten periods of the worked example (430 x 155, sampletime 1).
class GraphWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<uint32_t> counts = {3, 5, 9, 4, 2, 6, 4, 3, 2, 2};
    state_.history = CountHistory::Allocate(counts.size());
    for (size_t i = 0; i < counts.size(); ++i) state_.history.Store(i, counts[i]);
    state_.iteration = 10;
    state_.repeat = 10;
    state_.sampletime = 1;
    state_.graphtitle = "Survey at the gate";
  }

  void TearDown() override { graph_.reset(); }

  // Opens the window the Graph command's way at the given client size and paints it now.
  CGraphDlg& Open(int width = 430, int height = 155) {
    OnGraphCommand(state_, graph_, nullptr);
    graph_->resize(width, height);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(graph_.get()));
    Pass();
    return *graph_;
  }

  // A repaint request, painted now.
  void Pass() {
    graph_->Repaint();
    graph_->repaint();
  }

  CounterState state_;
  std::unique_ptr<CGraphDlg> graph_;
};

TEST_F(GraphWindowTest, PaintsTheWorkedExample) {
  state_.fillgraph = 1;
  const QImage& picture = Open().picture();
  ASSERT_EQ(picture.size(), QSize(430, 155));
  EXPECT_EQ(picture.format(), QImage::Format_RGB32);

  EXPECT_EQ(At(picture, 200, 30), kGrid);     // a grid row above the line
  EXPECT_EQ(At(picture, 200, 90), kAverage);  // the average row covers the grid row there
  EXPECT_EQ(At(picture, 26, 105), kWhite);    // the first point, where the line starts
  EXPECT_EQ(At(picture, 68, 75), kWhite);     // the second point
  EXPECT_EQ(At(picture, 100, 140), kFill);    // under the line
  EXPECT_EQ(At(picture, 100, 135), kFill);    // the fill covers the grid rows
  EXPECT_EQ(At(picture, 425, 140), kBlack);   // right of the plot
  EXPECT_EQ(At(picture, 420, 150), kBlack);   // rows end at PW - 1
  EXPECT_EQ(At(picture, 419, 150), kGrid);
  EXPECT_EQ(At(picture, 200, 152), kBlack);  // below the baseline

  // Labels in their colours, each in an opaque black box that hides the rows beneath it.
  EXPECT_TRUE(AnyPixelIn(picture, QRect(0, 127, 30, 12), kGridLabel));      // "60" at (0, 127)
  EXPECT_TRUE(AnyPixelIn(picture, QRect(382, 82, 40, 14), kAverageLabel));  // "240"
  EXPECT_TRUE(AnyPixelIn(picture, QRect(382, 82, 40, 14), kBlack));
  EXPECT_NE(At(picture, 1, 135), kGrid);  // the label "60" box covers its own row
  EXPECT_EQ(state_.graph_full_scale, 10.0f);
  std::lock_guard lock(state_.shared_mutex);
  EXPECT_EQ(state_.average_counts, 4u);
}

TEST_F(GraphWindowTest, LinesLeaveOutTheirEndPoint) {
  state_.verticalbars = 1;
  state_.connectpoints = 0;
  const QImage& picture = Open().picture();
  // The bar of the third point runs from (110, 150) up to (110, 15), which it leaves out.
  EXPECT_EQ(At(picture, 110, 150), kWhite);
  EXPECT_EQ(At(picture, 110, 16), kWhite);
  EXPECT_EQ(At(picture, 110, 15), kGrid);
  EXPECT_EQ(At(picture, 111, 100), kBlack);
  // No segments: between two bars only the grid and the background.
  EXPECT_EQ(At(picture, 90, 100), kBlack);
}

TEST_F(GraphWindowTest, SegmentsEndWhereTheNextBegins) {
  const QImage& picture = Open().picture();
  // The last segment ends at (404, 120) and leaves it out; nothing goes on from there.
  EXPECT_EQ(At(picture, 403, 120), kWhite);
  EXPECT_NE(At(picture, 404, 120), kWhite);
  // A horizontal segment (362, 120)-(404, 120) lies exactly on its row.
  EXPECT_EQ(At(picture, 380, 120), kWhite);
  EXPECT_NE(At(picture, 380, 119), kWhite);
  EXPECT_NE(At(picture, 380, 121), kWhite);
}

TEST_F(GraphWindowTest, GraphCommandCreatesOnceAndShowsAgain) {
  OnGraphCommand(state_, graph_, nullptr);
  ASSERT_NE(graph_, nullptr);
  CGraphDlg* const window = graph_.get();
  EXPECT_TRUE(state_.graph_open);
  EXPECT_EQ(state_.graphdlg, window);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Survey at the gate"));
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(window->isModal());

  struct Close {
    const char* name;
    void (*close)(CGraphDlg&);
  };
  const Close closes[] = {
      {"Escape", [](CGraphDlg& w) { QTest::keyClick(&w, Qt::Key_Escape); }},
      {"Enter", [](CGraphDlg& w) { QTest::keyClick(&w, Qt::Key_Return); }},
      {"keypad Enter",
       [](CGraphDlg& w) { QTest::keyClick(&w, Qt::Key_Enter, Qt::KeypadModifier); }},
      {"the close box", [](CGraphDlg& w) { w.close(); }},
  };
  for (const Close& c : closes) {
    c.close(*window);
    EXPECT_FALSE(window->isVisible()) << c.name;
    EXPECT_TRUE(state_.graph_open) << c.name;
    OnGraphCommand(state_, graph_, nullptr);
    EXPECT_EQ(graph_.get(), window) << c.name;  // the same window, shown again
    EXPECT_TRUE(window->isVisible()) << c.name;
  }

  window->showMaximized();
  OnGraphCommand(state_, graph_, nullptr);
  EXPECT_FALSE(window->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized));
  window->showMinimized();
  OnGraphCommand(state_, graph_, nullptr);
  EXPECT_FALSE(window->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized));

  state_.graphtitle = "After the options";
  SetGraphCaption(state_, window);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("After the options"));
  SetGraphCaption(state_, nullptr);  // no window yet: nothing happens

  graph_.reset();
  EXPECT_EQ(state_.graphdlg, nullptr);  // no repaint request reaches a destroyed window
}

TEST_F(GraphWindowTest, RepaintRequestsRunAPass) {
  Open();
  // A new period arrives: its repaint request shows it with the new scale and average.
  state_.history = CountHistory::Allocate(11);
  state_.history.Store(10, 21);
  state_.iteration = 11;
  state_.repeat = 11;
  RepaintGraph(state_);
  QElapsedTimer waited;
  waited.start();
  while (state_.graph_full_scale != 22.0f && waited.elapsed() < 5000) {
    QApplication::processEvents();
  }
  EXPECT_EQ(state_.graph_full_scale, 22.0f);
  std::lock_guard lock(state_.shared_mutex);
  EXPECT_EQ(state_.average_counts, 1u);
}

TEST_F(GraphWindowTest, ResizeRedrawsAtTheNewSize) {
  Open();
  graph_->resize(300, 100);  // no request of our own: the resize itself asks for the pass
  QElapsedTimer waited;
  waited.start();
  while (graph_->picture().size() != QSize(300, 100) && waited.elapsed() < 5000) {
    QApplication::processEvents();
  }
  const QImage& picture = graph_->picture();
  ASSERT_EQ(picture.size(), QSize(300, 100));
  // PH 95: the grid spacing is 9, so rows at 95, 86, ... 5.
  EXPECT_EQ(At(picture, 280, 95), kGrid);
  EXPECT_EQ(At(picture, 280, 86), kGrid);
  EXPECT_EQ(At(picture, 280, 5), kGrid);
  EXPECT_EQ(At(picture, 280, 90), kBlack);
}

TEST_F(GraphWindowTest, RunTooShortLeavesTheWindowUndrawn) {
  state_.repeat = 1;
  {
    std::lock_guard lock(state_.shared_mutex);
    state_.average_counts = 77;
  }
  Open();
  EXPECT_TRUE(graph_->picture().isNull());
  EXPECT_EQ(state_.graph_full_scale, 0.0f);
  std::lock_guard lock(state_.shared_mutex);
  EXPECT_EQ(state_.average_counts, 77u);
}

TEST_F(GraphWindowTest, DegenerateSizesPaintBlack) {
  for (const QSize size : {QSize(8, 100), QSize(100, 12), QSize(100, 5), QSize(3, 3)}) {
    Open(size.width(), size.height());
    const QImage& picture = graph_->picture();
    ASSERT_EQ(picture.size(), size);
    for (int y = 0; y < size.height(); ++y) {
      for (int x = 0; x < size.width(); ++x) ASSERT_EQ(At(picture, x, y), kBlack) << x << "," << y;
    }
  }
}

TEST_F(GraphWindowTest, ClickShowsTheReadoutUntilTheNextPass) {
  // Before any pass that draws, the full scale is 0.
  state_.repeat = 1;
  Open();
  QTest::mouseClick(graph_.get(), Qt::LeftButton, Qt::NoModifier, QPoint(50, 20));
  EXPECT_EQ(graph_->readout(), QStringLiteral("45 0"));

  state_.repeat = 10;
  Pass();
  QTest::mouseClick(graph_.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 90));
  EXPECT_EQ(graph_->readout(), QStringLiteral("95 240"));
  // Black text on white, its top-left corner at (x + 10, y), over the last picture.
  const QImage shown = graph_->grab().toImage();
  EXPECT_EQ(At(shown, 111, 91), kWhite);
  EXPECT_TRUE(AnyPixelIn(shown, QRect(110, 90, 40, 14), kBlack));
  EXPECT_EQ(At(shown, 200, 30), kGrid);

  // The next pass covers it.
  const QImage next = graph_->grab().toImage();
  EXPECT_TRUE(graph_->readout().isEmpty());
  EXPECT_EQ(At(next, 111, 91), kBlack);

  QTest::mouseClick(graph_.get(), Qt::LeftButton, Qt::NoModifier, QPoint(70, 150));
  EXPECT_EQ(graph_->readout(), QStringLiteral("65 0"));  // on the baseline

  graph_->resize(100, 5);
  Pass();
  QTest::mouseClick(graph_.get(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 2));
  EXPECT_EQ(graph_->readout(), QStringLiteral("15 0"));  // no plot height
}

// Below the count readout, the dose rate at the pointer, as the window's fields would show it.
TEST_F(GraphWindowTest, ClickReadoutShowsTheDoseRateBelow) {
  Open();
  QTest::mouseClick(graph_.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 90));
  EXPECT_EQ(graph_->readout(), QStringLiteral("95 240"));
  EXPECT_EQ(graph_->dose_readout(), QString::fromUtf8("0.400 mR/hr  4.00 µSv/h"));
  const QImage shown = graph_->grab().toImage();
  const int line = QFontMetrics(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).height();
  EXPECT_EQ(At(shown, 111, 91 + line), kWhite);
  EXPECT_TRUE(AnyPixelIn(shown, QRect(110, 90 + line, 120, line), kBlack));
}

// Reads the size from a complete JPEG file (one that ends with its end-of-image marker).
std::optional<QSize> CompleteJpegSize(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray bytes = file.readAll();
  if (bytes.size() < 4 || !bytes.endsWith(QByteArray("\xFF\xD9", 2))) return std::nullopt;
  QImageReader reader(path, "jpeg");
  const QImage image = reader.read();
  if (image.isNull()) return std::nullopt;
  return image.size();
}

TEST_F(GraphWindowTest, SaveGraphWritesTheBitmapAndTheJpeg) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));

  Open();
  EXPECT_FALSE(QFile::exists(QStringLiteral("blipcount.bmp")));  // neither flag is set

  state_.savegraph = 1;
  Pass();
  QFile bitmap(QStringLiteral("blipcount.bmp"));
  ASSERT_TRUE(bitmap.open(QIODevice::ReadOnly));
  const QByteArray bytes = bitmap.readAll();
  ASSERT_GE(bytes.size(), 54);
  EXPECT_EQ(bytes.left(2), QByteArray("BM"));
  auto le32 = [&bytes](int at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
  };
  EXPECT_EQ(le32(18), 430u);
  EXPECT_EQ(le32(22), 155u);
  EXPECT_EQ(le32(2), static_cast<uint32_t>(bytes.size()));

  // The encoder runs on its own; give it a bounded time to finish.
  std::optional<QSize> jpeg;
  QElapsedTimer waited;
  waited.start();
  while (!(jpeg = CompleteJpegSize(QStringLiteral("blipcount.jpg"))) && waited.elapsed() < 15000) {
    QThread::msleep(50);
  }
  ASSERT_TRUE(jpeg.has_value()) << "no complete blipcount.jpg within 15 s";
  EXPECT_EQ(*jpeg, QSize(430, 155));

  graph_.reset();
  QDir::setCurrent(previous);
}

}  // namespace

int main(int argc, char** argv) {
  // CTest sets the platform; the test listing at build time runs the program bare.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
