// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "graph/graph_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/counter_state.h"

namespace {

constexpr uint32_t kGridRgb = 0x404096;  // red 64, green 64, blue 150
constexpr uint32_t kGridLabelRgb = 0x8080C0;
constexpr uint32_t kAverageRgb = 0x960000;
constexpr uint32_t kAverageLabelRgb = 0xC00000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kFillRgb = 0x007800;

const std::vector<uint32_t> kWorkedCounts = {3, 5, 9, 4, 2, 6, 4, 3, 2, 2};

GraphInput WorkedExample(const std::vector<uint32_t>& history) {
  GraphInput input;
  input.history = history;
  input.iteration = 10;
  input.repeat = 10;
  input.scrollwidth = 60;
  input.sampletime = 1;
  input.connectpoints = true;
  input.width = 430;
  input.height = 155;
  return input;
}

// y of a point of mean `mean` in the 150-pixel plot: ys is kept as a float, the rest in double.
int PointY(uint32_t mean, float full) {
  const float ys = static_cast<float>(150.0 / full);
  return static_cast<int>(150.0 - mean * static_cast<double>(ys));
}

std::vector<const GraphStep*> StepsOf(const GraphPicture& picture, GraphStepKind kind) {
  std::vector<const GraphStep*> found;
  for (const GraphStep& step : picture.steps) {
    if (step.kind == kind) found.push_back(&step);
  }
  return found;
}

std::vector<std::string> LabelTexts(const GraphPicture& picture, uint32_t rgb) {
  std::vector<std::string> texts;
  for (const GraphStep* step : StepsOf(picture, GraphStepKind::kLabel)) {
    if (step->rgb == rgb) texts.push_back(step->text);
  }
  return texts;
}

// The points of the pass, read back from its connecting segments.
std::vector<GraphPoint> LinePoints(const GraphPicture& picture) {
  std::vector<GraphPoint> points;
  for (const GraphStep* line : StepsOf(picture, GraphStepKind::kLine)) {
    if (points.empty()) points.push_back(line->from);
    EXPECT_EQ(line->from, points.back());  // each segment starts where the last one ended
    points.push_back(line->to);
  }
  return points;
}

TEST(ColorrefToRgb, SwapsRedAndBlue) {
  EXPECT_EQ(RgbFromColorref(kGridColorref), kGridRgb);
  EXPECT_EQ(RgbFromColorref(kGridLabelColorref), kGridLabelRgb);
  EXPECT_EQ(RgbFromColorref(kAverageColorref), kAverageRgb);
  EXPECT_EQ(RgbFromColorref(kAverageLabelColorref), kAverageLabelRgb);
  EXPECT_EQ(RgbFromColorref(kFillColorref), kFillRgb);
  EXPECT_EQ(RgbFromColorref(kBackgroundColorref), 0u);
}

TEST(LayOutGraph, WorkedExampleInOrder) {
  const GraphPicture picture = LayOutGraph(WorkedExample(kWorkedCounts));
  ASSERT_TRUE(picture.drawn);
  EXPECT_EQ(picture.full_scale, 10.0f);
  EXPECT_EQ(picture.average_counts, 4u);

  const std::vector<GraphStep>& steps = picture.steps;
  ASSERT_EQ(steps.size(), 1u + 20u + 2u + 9u);
  EXPECT_EQ(steps[0].kind, GraphStepKind::kBackground);
  EXPECT_EQ(steps[0].rgb, 0u);
  EXPECT_EQ(steps[0].to, (GraphPoint{430, 155}));

  // Ten grid rows from the baseline up, each followed by its label 8 pixels above it.
  for (int k = 0; k < 10; ++k) {
    const GraphStep& row = steps[1 + 2 * k];
    const GraphStep& label = steps[2 + 2 * k];
    const int y = 150 - 15 * k;
    EXPECT_EQ(row.kind, GraphStepKind::kPixelRow);
    EXPECT_EQ(row.rgb, kGridRgb);
    EXPECT_EQ(row.from, (GraphPoint{0, y}));
    EXPECT_EQ(row.to, (GraphPoint{420, y}));
    EXPECT_EQ(label.kind, GraphStepKind::kLabel);
    EXPECT_EQ(label.rgb, kGridLabelRgb);
    EXPECT_EQ(label.from, (GraphPoint{0, y - 8}));
    EXPECT_EQ(label.text, std::to_string(60 * k));
  }

  const GraphStep& average = steps[21];
  EXPECT_EQ(average.kind, GraphStepKind::kPixelRow);
  EXPECT_EQ(average.rgb, kAverageRgb);
  EXPECT_EQ(average.from, (GraphPoint{0, 90}));
  EXPECT_EQ(average.to, (GraphPoint{420, 90}));
  const GraphStep& average_label = steps[22];
  EXPECT_EQ(average_label.kind, GraphStepKind::kLabel);
  EXPECT_EQ(average_label.rgb, kAverageLabelRgb);
  EXPECT_EQ(average_label.from, (GraphPoint{382, 82}));
  EXPECT_EQ(average_label.text, "240");

  const std::vector<GraphPoint> expected = {{26, 105},  {68, 75},  {110, 15}, {152, 90},
                                            {194, 120}, {236, 60}, {278, 90}, {320, 105},
                                            {362, 120}, {404, 120}};
  EXPECT_EQ(LinePoints(picture), expected);
  for (size_t i = 23; i < steps.size(); ++i) EXPECT_EQ(steps[i].rgb, kWhite);
}

// Per point: its bar, then (from the second point on) the fill under the segment, then the
// segment, so the line lies on top of the fill.
TEST(LayOutGraph, BarsFillsAndSegmentsInOrder) {
  GraphInput input = WorkedExample(kWorkedCounts);
  input.verticalbars = true;
  input.fillgraph = true;
  const GraphPicture picture = LayOutGraph(input);
  ASSERT_EQ(picture.steps.size(), 23u + 10u + 9u + 9u);

  const GraphStep* step = &picture.steps[23];
  GraphPoint previous;
  const std::vector<uint32_t>& counts = kWorkedCounts;
  for (size_t k = 0; k < counts.size(); ++k) {
    const GraphPoint point{26 + 42 * static_cast<int>(k), 150 - 15 * static_cast<int>(counts[k])};
    EXPECT_EQ(step->kind, GraphStepKind::kLine);
    EXPECT_EQ(step->from, (GraphPoint{point.x, 150}));
    EXPECT_EQ(step->to, point);
    ++step;
    if (k != 0) {
      EXPECT_EQ(step->kind, GraphStepKind::kFill);
      EXPECT_EQ(step->rgb, kFillRgb);
      EXPECT_EQ(step->corners[0], previous);
      EXPECT_EQ(step->corners[1], point);
      EXPECT_EQ(step->corners[2], (GraphPoint{point.x, 150}));
      EXPECT_EQ(step->corners[3], (GraphPoint{previous.x, 150}));
      ++step;
      EXPECT_EQ(step->kind, GraphStepKind::kLine);
      EXPECT_EQ(step->from, previous);
      EXPECT_EQ(step->to, point);
      ++step;
    }
    previous = point;
  }
}

TEST(LayOutGraph, FillNeedsConnectedPoints) {
  GraphInput input = WorkedExample(kWorkedCounts);
  input.connectpoints = false;
  input.fillgraph = true;
  const GraphPicture picture = LayOutGraph(input);
  EXPECT_TRUE(StepsOf(picture, GraphStepKind::kFill).empty());
  EXPECT_TRUE(StepsOf(picture, GraphStepKind::kLine).empty());
  EXPECT_EQ(picture.steps.size(), 23u);
}

TEST(LayOutGraph, RunsTooShortDrawNothing) {
  const std::vector<uint32_t> history(60, 7);
  struct Case {
    const char* name;
    uint32_t repeat, iteration, scrollwidth;
  };
  const Case cases[] = {
      {"repeat 1 after a WAV file", 1, 1, 60},
      {"no period stored yet", 10, 0, 60},
      {"forever mode with a scroll width of 1", FOREVER_REPEAT, 0, 1},
      {"forever mode with no scroll window", FOREVER_REPEAT, 5, 0},
  };
  for (const Case& c : cases) {
    GraphInput input = WorkedExample(history);
    input.repeat = c.repeat;
    input.iteration = c.iteration;
    input.scrollwidth = c.scrollwidth;
    const GraphPicture picture = LayOutGraph(input);
    EXPECT_FALSE(picture.drawn) << c.name;
    EXPECT_TRUE(picture.steps.empty()) << c.name;
  }
}

TEST(LayOutGraph, ForeverModeBeforeTheWindowFills) {
  // Three periods into a scroll window of 6: the newest entries are last, the rest still zero.
  const std::vector<uint32_t> history = {0, 0, 0, 4, 8, 2};
  GraphInput input = WorkedExample(history);
  input.repeat = FOREVER_REPEAT;
  input.scrollwidth = 6;
  input.iteration = 5;
  const GraphPicture picture = LayOutGraph(input);
  ASSERT_TRUE(picture.drawn);
  EXPECT_EQ(picture.full_scale, 9.0f);
  EXPECT_EQ(picture.average_counts, 2u);  // 14 / 6
  const std::vector<GraphPoint> points = LinePoints(picture);
  ASSERT_EQ(points.size(), 6u);                                  // all of the window is drawn
  for (int i = 0; i < 3; ++i) EXPECT_EQ(points[i].y, 150) << i;  // on the baseline
  EXPECT_EQ(points[4].y, PointY(8, 9.0f));
  EXPECT_EQ(points[0].x, 40);  // xs = 70
}

TEST(LayOutGraph, GridLabelsFollowTheFullScaleAndSampleTime) {
  struct Case {
    const char* name;
    std::vector<uint32_t> history;
    uint32_t sampletime;
    std::vector<std::string> grid_labels;
    std::string average_label;
  };
  const std::vector<uint32_t> zeros(10, 0);
  const Case cases[] = {
      {"all counts zero: full 1, cpm_step 6",
       zeros,
       1,
       {"0", "6", "12", "18", "24", "30", "36", "42", "48", "54"},
       "0"},
      {"sampletime 7 with full 10: the step is cut to 8 before it is multiplied",
       kWorkedCounts,
       7,
       {"0", "8", "16", "24", "32", "40", "48", "56", "64", "72"},
       "34"},
      {"sampletime 0 is taken as 1",
       kWorkedCounts,
       0,
       {"0", "60", "120", "180", "240", "300", "360", "420", "480", "540"},
       "240"},
  };
  for (const Case& c : cases) {
    GraphInput input = WorkedExample(c.history);
    input.sampletime = c.sampletime;
    const GraphPicture picture = LayOutGraph(input);
    EXPECT_EQ(LabelTexts(picture, kGridLabelRgb), c.grid_labels) << c.name;
    EXPECT_EQ(LabelTexts(picture, kAverageLabelRgb), std::vector<std::string>{c.average_label})
        << c.name;
  }
}

TEST(LayOutGraph, AllZeroCountsLieOnTheBaseline) {
  const std::vector<uint32_t> zeros(10, 0);
  const GraphPicture picture = LayOutGraph(WorkedExample(zeros));
  EXPECT_EQ(picture.full_scale, 1.0f);
  for (const GraphPoint& point : LinePoints(picture)) EXPECT_EQ(point.y, 150);
  EXPECT_EQ(StepsOf(picture, GraphStepKind::kPixelRow).back()->from.y, 150);  // the average
}

TEST(LayOutGraph, GridRowCountFollowsThePlotHeight) {
  struct Case {
    int height;
    std::vector<int> rows;
  };
  const Case cases[] = {
      {155, {150, 135, 120, 105, 90, 75, 60, 45, 30, 15}},        // PH a multiple of 10
      {100, {95, 86, 77, 68, 59, 50, 41, 32, 23, 14, 5}},         // 11 rows
      {20, {15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},  // PH 15: fifteen rows
  };
  for (const Case& c : cases) {
    GraphInput input = WorkedExample(kWorkedCounts);
    input.height = c.height;
    const GraphPicture picture = LayOutGraph(input);
    std::vector<int> rows;
    for (const GraphStep* row : StepsOf(picture, GraphStepKind::kPixelRow)) {
      if (row->rgb == kGridRgb) rows.push_back(row->from.y);
    }
    EXPECT_EQ(rows, c.rows) << "H " << c.height;
  }
}

TEST(LayOutGraph, GroupsEntriesWhenTheyOutnumberThePixels) {
  // 1000 entries in a 420-pixel plot: g = 2, 500 points, each the mean of its two entries.
  std::vector<uint32_t> history(1000);
  for (size_t i = 0; i < history.size(); i += 2) {
    history[i] = static_cast<uint32_t>((i / 2) % 7);
    history[i + 1] = history[i] + 3;  // mean: entry + 1 (the remainder of .5 is dropped)
  }
  GraphInput input = WorkedExample(history);
  input.repeat = 1000;
  input.iteration = 1000;
  input.verticalbars = true;
  input.connectpoints = false;
  const GraphPicture picture = LayOutGraph(input);
  EXPECT_EQ(picture.full_scale, 10.0f);
  const std::vector<const GraphStep*> bars = StepsOf(picture, GraphStepKind::kLine);
  ASSERT_EQ(bars.size(), 500u);
  const float xs = 420.0f / 1000.0f;
  for (size_t p = 0; p < bars.size(); ++p) {
    const uint32_t mean = static_cast<uint32_t>(p % 7) + 1;
    const double first = static_cast<double>(2 * p);
    EXPECT_EQ(bars[p]->to.x, static_cast<int>(first * xs + xs * 0.5 + 5.0)) << p;
    EXPECT_EQ(bars[p]->to.y, 150 - static_cast<int>(mean * 15)) << p;
  }
}

TEST(LayOutGraph, AverageLabelLeftOutNearTheTop) {
  struct Case {
    uint32_t counts;
    int ya;
    bool labelled;
  };
  // Every entry equal: ya = trunc(150 - c * 150 / (c + 1)).
  const Case cases[] = {{17, 8, true}, {20, 7, false}};
  for (const Case& c : cases) {
    const std::vector<uint32_t> history(10, c.counts);
    const GraphPicture picture = LayOutGraph(WorkedExample(history));
    EXPECT_EQ(StepsOf(picture, GraphStepKind::kPixelRow).back()->from.y, c.ya) << c.counts;
    EXPECT_EQ(LabelTexts(picture, kAverageLabelRgb).size(), c.labelled ? 1u : 0u) << c.counts;
  }
}

TEST(LayOutGraph, DegenerateSizesDrawTheBackgroundOnly) {
  struct Case {
    int width, height;
  };
  const Case cases[] = {{10, 155}, {0, 155}, {-3, 155}, {430, 14}, {430, 6},
                        {430, 5},  {430, 0}, {5, 3},    {0, 0}};
  for (const Case& c : cases) {
    GraphInput input = WorkedExample(kWorkedCounts);
    input.width = c.width;
    input.height = c.height;
    const GraphPicture picture = LayOutGraph(input);
    EXPECT_TRUE(picture.drawn);
    EXPECT_EQ(picture.full_scale, 10.0f);
    EXPECT_EQ(picture.average_counts, 4u);
    ASSERT_EQ(picture.steps.size(), 1u) << c.width << " x " << c.height;
    EXPECT_EQ(picture.steps[0].kind, GraphStepKind::kBackground);
    EXPECT_EQ(picture.steps[0].to, (GraphPoint{c.width, c.height}));
  }

  // The smallest plot that draws: one pixel wide, ten high; ten entries make one group.
  GraphInput smallest = WorkedExample(kWorkedCounts);
  smallest.width = 11;
  smallest.height = 15;
  smallest.verticalbars = true;
  const GraphPicture picture = LayOutGraph(smallest);
  const std::vector<const GraphStep*> bars = StepsOf(picture, GraphStepKind::kLine);
  ASSERT_EQ(bars.size(), 1u);
  EXPECT_EQ(bars[0]->to, (GraphPoint{5, 10 - 4}));  // mean 4, ys 1
}

TEST(LayOutGraph, NeverReadsPastTheHistory) {
  // A history replaced by a shorter one: n = 10 but only 5 entries exist. The scale and the
  // average come from those 5, and the plot ends with them.
  const std::vector<uint32_t> shorter = {1, 2, 3, 4, 5};
  GraphInput input = WorkedExample(shorter);
  GraphPicture picture = LayOutGraph(input);
  EXPECT_EQ(picture.full_scale, 6.0f);
  EXPECT_EQ(picture.average_counts, 3u);
  EXPECT_EQ(LinePoints(picture).size(), 5u);

  // 1001 entries in 420 pixels: g = 2, and the last group has only entry 1000 in the array.
  std::vector<uint32_t> odd(1001, 2);
  odd[1000] = 8;
  input = WorkedExample(odd);
  input.repeat = 2000;
  input.iteration = 1001;
  std::vector<GraphPoint> points = LinePoints(LayOutGraph(input));
  ASSERT_EQ(points.size(), 501u);
  EXPECT_EQ(points.back().y, PointY(8, 9.0f));

  // The same run in a larger array: the last group takes entry 1001 too, whatever it holds.
  std::vector<uint32_t> longer(2000, 0);
  std::copy(odd.begin(), odd.end(), longer.begin());
  longer[1001] = 4;
  input.history = longer;
  points = LinePoints(LayOutGraph(input));
  ASSERT_EQ(points.size(), 501u);
  EXPECT_EQ(points.back().y, PointY(6, 9.0f));
}

TEST(LayOutGraph, LargestCountDoesNotWrapTheFullScale) {
  const std::vector<uint32_t> history = {0, UINT32_MAX, 0};
  GraphInput input = WorkedExample(history);
  input.iteration = 3;
  const GraphPicture picture = LayOutGraph(input);
  EXPECT_EQ(picture.full_scale, 4294967296.0f);
  const std::vector<GraphPoint> points = LinePoints(picture);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[1].y, 0);  // the top of the plot, not past it
  EXPECT_EQ(points[0].y, 150);
}

// 4 counts under the pointer of the worked example (150 - 90 of 150 pixels, full scale 10).
TEST(GraphDoseReadout, TheDoseRateAsTheWindowWouldShowIt) {
  struct Case {
    const char* name;
    int y, height;
    float full_scale;
    uint32_t sampletime, dead_time_us;
    std::string text;
  };
  const Case cases[] = {
      {"4 counts a second", 90, 155, 10.0f, 1, 0, "0.400 mR/hr  4.00 µSv/h"},
      {"4 counts in ten seconds", 90, 155, 10.0f, 10, 0, "0.040 mR/hr  0.40 µSv/h"},
      // 240 CPM with 0.1 s dead time: 0.4 of the time dead, 400 CPM.
      {"dead-time corrected", 90, 155, 10.0f, 1, 100000, "0.667 mR/hr  6.67 µSv/h"},
      {"at the correction's limit", 0, 155, 10.0f, 1, 100000, "saturated"},
      {"below the baseline", 153, 155, 10.0f, 1, 0, "0.000 mR/hr  0.00 µSv/h"},
      {"no plot height", 2, 5, 10.0f, 1, 0, "0.000 mR/hr  0.00 µSv/h"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GraphDoseReadout(c.y, c.height, c.full_scale, c.sampletime, 600.0, c.dead_time_us),
              c.text)
        << c.name;
  }
}

TEST(GraphReadout, ReadsTheScaleOfTheLatestPass) {
  struct Case {
    const char* name;
    int x, y, height;
    float full_scale;
    std::string text;
  };
  const Case cases[] = {
      {"on the average line of the worked example", 100, 90, 155, 10.0f, "95 240"},
      {"at the top", 30, 0, 155, 10.0f, "25 600"},
      {"before any pass", 50, 20, 155, 0.0f, "45 0"},
      {"on the baseline", 70, 150, 155, 10.0f, "65 0"},
      {"below the baseline", 70, 153, 155, 10.0f, "65 -11"},
      {"just below the baseline rounds to 0", 70, 151, 155, 1.0f, "65 0"},
      {"no plot height", 7, 2, 5, 10.0f, "2 0"},
      {"a negative plot height", 7, 2, 3, 10.0f, "2 0"},
      {"a full scale too large for an int", 8, 0, 155, 4294967296.0f, "3 2147483647"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GraphReadout(c.x, c.y, c.height, c.full_scale), c.text) << c.name;
  }
}

}  // namespace
