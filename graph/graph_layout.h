// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The activity graph's drawing pass as data: what the pass reads goes in, the picture comes out
// as an ordered list of drawing steps that a painter replays (graph/graph_dialog.h). Plain C++,
// no display needed.

// Colours of the picture as the settings and the history of the program knew them: COLORREF
// values, 0x00BBGGRR (red in the lowest byte).
inline constexpr uint32_t kBackgroundColorref = 0;
inline constexpr uint32_t kGridColorref = 0x964040;
inline constexpr uint32_t kGridLabelColorref = 0xC08080;
inline constexpr uint32_t kAverageColorref = 0x96;
inline constexpr uint32_t kAverageLabelColorref = 0xC0;
inline constexpr uint32_t kLineColorref = 0xFFFFFF;  // the white pen of bars and segments
inline constexpr uint32_t kFillColorref = 0x7800;

// A COLORREF (0x00BBGGRR) as 0xRRGGBB.
constexpr uint32_t RgbFromColorref(uint32_t colorref) {
  return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
}

struct GraphPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const GraphPoint&, const GraphPoint&) = default;
};

enum class GraphStepKind {
  kBackground,  // fill (0, 0)-(W, H) with `rgb`
  kPixelRow,    // pixels (x, from.y) for x = from.x ... to.x - 1 set to `rgb`
  kLabel,       // `text` in `rgb` on an opaque black box, its top-left corner at `from`
  kLine,        // one-pixel line in `rgb` from `from` towards `to`, `to` itself not drawn
  kFill,        // polygon `corners` filled with `rgb` (odd-even rule)
};

struct GraphStep {
  GraphStepKind kind = GraphStepKind::kBackground;
  uint32_t rgb = 0;  // 0xRRGGBB
  GraphPoint from;
  GraphPoint to;
  GraphPoint corners[4] = {};  // kFill only: (px, py), (x, y), (x, B), (px, B)
  std::string text;            // kLabel only
};

// What one drawing pass reads.
struct GraphInput {
  // Every entry the history holds; a pass never reads past it, whatever n says.
  std::span<const uint32_t> history;
  uint32_t iteration = 0;
  uint32_t repeat = 0;
  uint32_t scrollwidth = 0;
  uint32_t sampletime = 1;
  bool connectpoints = false;
  bool verticalbars = false;
  bool fillgraph = false;
  int width = 0;   // client width W in pixels
  int height = 0;  // client height H in pixels
};

struct GraphPicture {
  // False when the run is too short to show (repeat < 2 or no period stored): the pass draws
  // nothing and stores nothing.
  bool drawn = false;
  float full_scale = 0.0f;      // for graph_full_scale: the largest count shown, plus 1
  uint32_t average_counts = 0;  // for average_counts: the integer mean of the n entries
  std::vector<GraphStep> steps;
};

// Lays out one drawing pass. A client area too small to hold a plot (W <= 10 or a plot height
// below 10 pixels) gets the black background only.
GraphPicture LayOutGraph(const GraphInput& input);

// The click readout "x v" for a click at (x, y) in a client area of height `height`: the count
// per minute under the pointer on the scale of the latest pass. Reads 0 when there is no plot
// height (H <= 5).
std::string GraphReadout(int x, int y, int height, float full_scale);

// The readout's second line, the dose rate at height y: "0.400 mR/hr  4.00 µSv/h". The count
// under the pointer is taken per period of `sampletime` seconds and through the same dead-time
// correction as the window's rates, so the line reads as the window would for that count;
// "saturated" past the correction's limit. Below the baseline it reads 0.
std::string GraphDoseReadout(int y, int height, float full_scale, uint32_t sampletime, double scale,
                             uint32_t dead_time_us);
