// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/report.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/fake_controls.h"

namespace {

struct ReportCase {
  const char* name;
  uint32_t sampletime;
  bool forever;
  uint32_t scrollwidth;
  std::vector<uint32_t> history;  // as stored, the period just reported included
  uint32_t iteration;
  int32_t counts;
  std::vector<std::string> fields;  // counts, CPM, mR/hr, average CPM, average mR/hr
  std::vector<std::string> log;
};

TEST(ReportResults, WritesTheFieldsAndTheLogLines) {
  const ReportCase cases[] = {
      {"second period",
       1,
       false,
       60,
       {10, 13},
       2,
       13,
       {"13", "780", "1.300", "660.0", "1.100"},
       {"#2   Counts=13    CPM=780   mR/hr=1.300   Ave: CPM=660.00 (1.100 mR/hr)",
        "   95% confidence interval on 13 counts 355.99 to 1204.01 CPM"}},
      {"ten-second period",
       10,
       false,
       60,
       {12},
       1,
       12,
       {"12", "72", "0.120", "72.0", "0.120"},
       {"#1   Counts=12    CPM=72    mR/hr=0.120   Ave: CPM=72.00 (0.120 mR/hr)",
        "   95% confidence interval on 12 counts 31.26 to 112.74 CPM"}},
      {"forever, first period",
       1,
       true,
       5,
       {0, 0, 0, 0, 4},
       4,
       4,
       {"4", "240", "0.400", "0.0", "0.000"},
       {"Counts=4     CPM=240   mR/hr=0.400   Ave: CPM=0.00 (0.000 mR/hr)",
        "   95% confidence interval on 4 counts 4.80 to 475.20 CPM"}},
      {"no counts",
       1,
       false,
       60,
       {0},
       1,
       0,
       {"0", "0", "0.000", "0.0", "0.000"},
       {"#1   Counts=0     CPM=0     mR/hr=0.000   Ave: CPM=0.00 (0.000 mR/hr)",
        "   95% confidence interval on 0 counts 0.00 to 0.00 CPM"}},
      {"one count: the lower end stays negative",
       1,
       false,
       60,
       {1},
       1,
       1,
       {"1", "60", "0.100", "60.0", "0.100"},
       {"#1   Counts=1     CPM=60    mR/hr=0.100   Ave: CPM=60.00 (0.100 mR/hr)",
        "   95% confidence interval on 1 counts -57.60 to 177.60 CPM"}},
      {"wide iteration number",
       1,
       false,
       60,
       std::vector<uint32_t>(12345, 2),
       12345,
       2,
       {"2", "120", "0.200", "120.0", "0.200"},
       {"#12345Counts=2     CPM=120   mR/hr=0.200   Ave: CPM=120.00 (0.200 mR/hr)",
        "   95% confidence interval on 2 counts -46.31 to 286.31 CPM"}},
      {"a zero sample time is taken as one second",
       0,
       false,
       60,
       {3},
       1,
       3,
       {"3", "180", "0.300", "180.0", "0.300"},
       {"#1   Counts=3     CPM=180   mR/hr=0.300   Ave: CPM=180.00 (0.300 mR/hr)",
        "   95% confidence interval on 3 counts -23.69 to 383.69 CPM"}},
  };
  for (const ReportCase& c : cases) {
    SCOPED_TRACE(c.name);
    CounterState state;
    FakeWindow window;
    window.Attach(state);
    state.sampletime = c.sampletime;
    state.repeat = c.forever ? FOREVER_REPEAT : 10;
    state.scrollwidth = c.scrollwidth;
    state.iteration = c.iteration;
    state.history = CountHistory::Allocate(c.history.size());
    for (size_t i = 0; i < c.history.size(); ++i) state.history.Store(i, c.history[i]);

    ReportResults(state, c.counts, c.sampletime);

    EXPECT_EQ(window.counts.Text(), c.fields[0]);
    EXPECT_EQ(window.cpm.Text(), c.fields[1]);
    EXPECT_EQ(window.mrhr.Text(), c.fields[2]);
    EXPECT_EQ(window.avg_cpm.Text(), c.fields[3]);
    EXPECT_EQ(window.avg_mrhr.Text(), c.fields[4]);
    EXPECT_EQ(window.log.lines, c.log);
    EXPECT_DOUBLE_EQ(state.current_cpm, c.counts * 60.0 / (c.sampletime ? c.sampletime : 1));
  }
}

TEST(ReportResults, LogsOneLinePerPeriodWithoutConfidence) {
  CounterState state;
  FakeWindow window;
  window.Attach(state);
  state.logconfidence = 0;
  state.history = CountHistory::Allocate(10);
  state.history.Store(0, 5);
  state.iteration = 1;
  ReportResults(state, 5, 1);
  ASSERT_EQ(window.log.lines.size(), 1u);
  EXPECT_EQ(state.average_counts, 5u);
}

TEST(ReportResults, WorksWithoutAWindowOrHistory) {
  CounterState state;
  state.iteration = 3;
  ReportResults(state, 7, 1);
  EXPECT_EQ(state.average_counts, 0u);
  EXPECT_DOUBLE_EQ(state.current_cpm, 420.0);
}

TEST(PostLogLine, ReachesTheLogOnlyOnTheOwnerThreadInOrder) {
  CounterState state;
  FakeWindow window;
  window.Attach(state);
  TaskQueue owner;
  state.owner = &owner;
  std::thread other([&] {
    PostLogLine(state, "HTTPD: Listening on port 700...");
    PostLogLine(state, "second");
  });
  other.join();
  EXPECT_TRUE(window.log.lines.empty());
  EXPECT_EQ(owner.RunPending(), 2u);
  EXPECT_EQ(window.log.lines,
            (std::vector<std::string>{"HTTPD: Listening on port 700...", "second"}));
}

TEST(RepaintGraph, AsksTheGraphOnlyOnceItExists) {
  CounterState state;
  FakeRepaint graph;
  state.graphdlg = &graph;
  RepaintGraph(state);
  EXPECT_EQ(graph.repaints, 0);
  state.graph_open = true;
  RepaintGraph(state);
  EXPECT_EQ(graph.repaints, 1);
}

}  // namespace
