// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "graph/graph_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/counter_state.h"
#include "core/dose.h"
#include "core/period.h"
#include "core/text_format.h"

namespace {

// trunc() into an int, saturating where the value lies outside the int range (a huge full
// scale on a tall window), so that no conversion is undefined.
int TruncToInt(double value) {
  if (!(value > std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  if (!(value < std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  return static_cast<int>(value);
}

GraphStep Background(int width, int height) {
  GraphStep step;
  step.kind = GraphStepKind::kBackground;
  step.rgb = RgbFromColorref(kBackgroundColorref);
  step.to = {width, height};
  return step;
}

GraphStep PixelRow(int y, int width, uint32_t colorref) {
  GraphStep step;
  step.kind = GraphStepKind::kPixelRow;
  step.rgb = RgbFromColorref(colorref);
  step.from = {0, y};
  step.to = {width, y};
  return step;
}

GraphStep Label(int x, int y, uint32_t colorref, std::string text) {
  GraphStep step;
  step.kind = GraphStepKind::kLabel;
  step.rgb = RgbFromColorref(colorref);
  step.from = {x, y};
  step.text = std::move(text);
  return step;
}

GraphStep Line(GraphPoint from, GraphPoint to) {
  GraphStep step;
  step.kind = GraphStepKind::kLine;
  step.rgb = RgbFromColorref(kLineColorref);
  step.from = from;
  step.to = to;
  return step;
}

GraphStep Fill(GraphPoint previous, GraphPoint point, int baseline) {
  GraphStep step;
  step.kind = GraphStepKind::kFill;
  step.rgb = RgbFromColorref(kFillColorref);
  step.corners[0] = previous;
  step.corners[1] = point;
  step.corners[2] = {point.x, baseline};
  step.corners[3] = {previous.x, baseline};
  return step;
}

}  // namespace

GraphPicture LayOutGraph(const GraphInput& input) {
  GraphPicture picture;
  if (input.repeat < 2 || input.iteration == 0) return picture;
  const uint32_t n = input.repeat == FOREVER_REPEAT ? input.scrollwidth : input.iteration;
  if (n == 0) return picture;  // a scroll window of no entries has nothing to place

  // Largest count and integer mean of the n entries, of those that exist.
  const std::span<const uint32_t> shown =
      input.history.first(std::min<size_t>(n, input.history.size()));
  uint32_t largest = 0;
  uint32_t sum = 0;  // wraps like the 32-bit sum it stands for
  for (uint32_t counts : shown) {
    largest = std::max(largest, counts);
    sum += counts;
  }
  const uint32_t average = shown.empty() ? 0 : sum / static_cast<uint32_t>(shown.size());

  // The "+ 1" is taken in floating point: a count of 4294967295 would wrap to a full scale of 0.
  const float full = static_cast<float>(static_cast<double>(largest) + 1.0);
  picture.drawn = true;
  picture.full_scale = full;
  picture.average_counts = average;

  const int width = input.width;
  const int height = input.height;
  const int plot_width = width - 10;
  const int plot_height = height - 5;
  const int baseline = height - 5;

  picture.steps.push_back(Background(width, height));
  // Too small to hold a plot: the group size, the grid spacing or the scales would divide by zero.
  if (plot_width <= 0 || plot_height < 10) return picture;

  const double seconds = DivisorSeconds(input.sampletime);

  // Grid, from the baseline up, labelled in counts per minute.
  const int grid_step = plot_height / 10;
  const float cpm_step = static_cast<float>(static_cast<double>(full) * 60.0 / (seconds * 10.0));
  const long long cpm_label_step =
      static_cast<long long>(std::trunc(static_cast<double>(cpm_step)));
  int y = baseline;
  long long k = 0;
  do {
    picture.steps.push_back(PixelRow(y, plot_width, kGridColorref));
    picture.steps.push_back(
        Label(0, y - 8, kGridLabelColorref, StringPrintf("%lld", k * cpm_label_step)));
    ++k;
    y -= grid_step;
  } while (y > 0);

  const float ys = static_cast<float>(static_cast<double>(plot_height) / static_cast<double>(full));
  const float xs = static_cast<float>(static_cast<double>(plot_width) / static_cast<double>(n));

  // Average line and its label, in counts per minute with 32-bit unsigned arithmetic.
  const int ya = TruncToInt(baseline - static_cast<double>(average) * static_cast<double>(ys));
  picture.steps.push_back(PixelRow(ya, plot_width, kAverageColorref));
  if (ya - 8 >= 0) {
    const uint32_t average_cpm = (average * 60u) / static_cast<uint32_t>(seconds);
    picture.steps.push_back(Label(width - 48, ya - 8, kAverageLabelColorref,
                                  StringPrintf("%d", static_cast<int32_t>(average_cpm))));
  }

  // Points: one per group of g entries, so there are at most 2 x PW of them.
  const uint64_t group =
      n > static_cast<uint32_t>(plot_width) ? n / static_cast<uint32_t>(plot_width) : 1;
  picture.steps.reserve(picture.steps.size() + 3 * static_cast<size_t>((n + group - 1) / group));
  GraphPoint previous;
  for (uint64_t first = 0; first < n; first += group) {
    // A group takes the entries the history holds, past n as well; one that reaches past the end
    // of the history averages those that exist, and where none exist the plot ends.
    if (first >= input.history.size()) break;
    const std::span<const uint32_t> members =
        input.history.subspan(first, std::min<uint64_t>(group, input.history.size() - first));
    uint32_t group_sum = 0;
    for (uint32_t counts : members) group_sum += counts;
    const uint32_t mean = group_sum / static_cast<uint32_t>(members.size());

    const double x_scale = static_cast<double>(xs);
    const GraphPoint point{
        TruncToInt(static_cast<double>(first) * x_scale + x_scale * 0.5 + 5.0),
        TruncToInt(baseline - static_cast<double>(mean) * static_cast<double>(ys))};

    if (input.verticalbars) picture.steps.push_back(Line({point.x, baseline}, point));
    if (input.connectpoints) {
      if (first != 0) {
        if (input.fillgraph) picture.steps.push_back(Fill(previous, point, baseline));
        picture.steps.push_back(Line(previous, point));
      }
      previous = point;
    }
  }
  return picture;
}

std::string GraphReadout(int x, int y, int height, float full_scale) {
  const int baseline = height - 5;
  int value = 0;
  if (baseline > 0) {
    value = TruncToInt(static_cast<double>(baseline - static_cast<long long>(y)) *
                           static_cast<double>(full_scale) * 60.0 / baseline +
                       0.5);
  }
  return StringPrintf("%d %d", x - 5, value);
}

std::string GraphDoseReadout(int y, int height, float full_scale, uint32_t sampletime, double scale,
                             uint32_t dead_time_us) {
  const int baseline = height - 5;
  double counts = 0.0;  // per period, under the pointer
  if (baseline > 0) {
    counts = std::max(0.0, static_cast<double>(baseline - static_cast<long long>(y)) *
                               static_cast<double>(full_scale) / baseline);
  }
  const CorrectedRate rate =
      CorrectDeadTime(counts * 60.0 / DivisorSeconds(sampletime), dead_time_us);
  if (rate.saturated) return "saturated";
  const double mrhr = rate.cpm / scale;
  return StringPrintf("%.3f mR/hr  %.2f µSv/h", mrhr,
                      mrhr * kMicroSievertPerHourPerMilliRoentgenPerHour);
}
