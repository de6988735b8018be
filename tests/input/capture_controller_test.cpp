// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "input/capture_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "click_signal.h"
#include "core/owner_thread.h"
#include "fake_audio_input.h"
#include "input/audio_input.h"
#include "support/fake_controls.h"

namespace {

class FakeFields : public FieldExchange {
 public:
  std::optional<MainValues> SaveFields() override {
    ++saves;
    if (!valid) return std::nullopt;
    return values;
  }
  MainValues values;
  bool valid = true;
  int saves = 0;
};

// A controller on a fake device, with the owner thread as a plain queue the test runs.
struct Rig {
  Rig() {
    state.owner = &owner;
    window.Attach(state);
    window.repeat.SetText("10");
    Make();
  }

  void Make() {
    controller = std::make_unique<CaptureController>(
        state, [this] { return std::make_unique<FakeAudioInput>(device); }, fields);
  }

  // One full period of `clicks` clicks arrives; its completion runs on the owner.
  void Period(uint32_t clicks) {
    const uint64_t frames = device->buffer.size() / std::max(1u, device->channels);
    // Starting one frame past a click, the period holds exactly `clicks` of them.
    const auto length = static_cast<uint32_t>(frames);
    std::vector<uint8_t> samples =
        device->channels == 2 ? CoincidentClicks(length, clicks, 1) : MonoClicks(length, clicks, 1);
    ASSERT_TRUE(device->Complete(samples));
    owner.RunPending();
  }

  std::vector<std::string> LogFrom(size_t first) const {
    const auto& lines = window.log.lines;
    return {lines.begin() + static_cast<std::ptrdiff_t>(std::min(first, lines.size())),
            lines.end()};
  }

  bool Running() const { return !window.start.IsEnabled() && window.cancel.IsEnabled(); }
  bool Idle() const { return window.start.IsEnabled() && !window.cancel.IsEnabled(); }

  CounterState state;
  TaskQueue owner;
  FakeWindow window;
  FakeFields fields;
  std::shared_ptr<FakeDeviceScript> device = std::make_shared<FakeDeviceScript>();
  std::unique_ptr<CaptureController> controller;
};

class CaptureTest : public ::testing::Test, public Rig {};

std::vector<std::string> PeriodLines(const std::vector<std::string>& lines) {
  std::vector<std::string> periods;
  for (const std::string& line : lines) {
    if (line.find("Counts=") != std::string::npos) periods.push_back(line);
  }
  return periods;
}

TEST_F(CaptureTest, FirstStartWithDefaultsRunsTenPeriods) {
  controller->OnStart();

  ASSERT_EQ(window.log.lines.size(), 6u);
  EXPECT_EQ(LogFrom(0),
            (std::vector<std::string>{"Audio sampling rate = 11025 per second",
                                      "Opened Audio Input.", "", "Starting recording.",
                                      "Sampling time=1 secs, repeat 10 times.", *state.started}));
  EXPECT_EQ(state.started->size(), 24u);
  EXPECT_EQ(device->calls, (std::vector<std::string>{"Open 1", "AddBuffer", "Start"}));
  EXPECT_EQ(device->buffer.size(), 11025u);
  EXPECT_TRUE(Running());
  EXPECT_TRUE(window.graph.IsEnabled());
  EXPECT_EQ(window.counts.Text(), "0");
  EXPECT_EQ(window.cpm.Text(), "0");
  EXPECT_EQ(window.mrhr.Text(), "0.0");

  for (uint32_t period = 1; period <= 10; ++period) {
    EXPECT_TRUE(Running()) << period;
    Period(period);
  }
  EXPECT_TRUE(Idle());
  EXPECT_EQ(window.log.lines.back(), "Done counting.");
  EXPECT_EQ(state.iteration, 10u);
  for (uint32_t i = 0; i < 10; ++i) {
    EXPECT_EQ(state.history.entries()[i], i + 1);
  }
  const std::vector<std::string> periods = PeriodLines(LogFrom(6));
  ASSERT_EQ(periods.size(), 10u);
  EXPECT_EQ(periods[0].rfind("#1   Counts=1 ", 0), 0u) << periods[0];
  EXPECT_EQ(periods[9].rfind("#10  Counts=10 ", 0), 0u) << periods[9];
  // Each period: stop, process, queue again; the last only stops.
  EXPECT_EQ(std::count(device->calls.begin(), device->calls.end(), "AddBuffer"), 10);
  EXPECT_EQ(device->calls.back(), "Stop");
  EXPECT_FALSE(controller->capturing());
}

TEST_F(CaptureTest, SecondStartReusesTheOpenDevice) {
  fields.values.repeat = 1;
  controller->OnStart();
  Period(3);
  const size_t before = window.log.lines.size();
  controller->OnStart();
  EXPECT_EQ(LogFrom(before),
            (std::vector<std::string>{"", "Starting recording.",
                                      "Sampling time=1 secs, repeat 1 times.", *state.started}));
  EXPECT_EQ(device->devices_made, 1);
  EXPECT_EQ(std::count(device->calls.begin(), device->calls.end(), "Open 1"), 1);
  EXPECT_TRUE(Running());
}

struct RepeatCase {
  const char* name;
  uint32_t repeat;
  int periods;  // completions the test delivers
  const char* third_line;
  bool graph_enabled;
  bool ends;
  uint32_t iteration_after;
};

TEST(CaptureTable, RepeatDecidesWhenTheRunEnds) {
  const RepeatCase cases[] = {
      {"one period", 1, 1, "Sampling time=1 secs, repeat 1 times.", false, true, 1},
      {"forever", FOREVER_REPEAT, 75, "Sampling time=1 secs, repeat 999999999 times. (forever) ",
       true, false, 59},
  };
  for (const RepeatCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.fields.values.repeat = c.repeat;

    r.controller->OnStart();
    EXPECT_EQ(r.window.log.lines.at(4), c.third_line);
    EXPECT_EQ(r.window.graph.IsEnabled(), c.graph_enabled);
    for (int i = 0; i < c.periods; ++i) r.Period(5);
    EXPECT_EQ(r.state.iteration, c.iteration_after);
    EXPECT_EQ(r.window.log.lines.back() == "Done counting.", c.ends);
    EXPECT_EQ(r.Idle(), c.ends);
    EXPECT_EQ(r.device->queued, !c.ends);
    EXPECT_EQ(PeriodLines(r.window.log.lines).size(), static_cast<size_t>(c.periods));
  }
}

struct CancelCase {
  const char* name;
  uint32_t repeat;
  int periods_before;
  uint32_t repeat_after;
  const char* final_prefix;
  uint32_t final_entry;
};

TEST(CaptureTable, CancelProcessesThePeriodInProgressAndEnds) {
  const CancelCase cases[] = {
      {"fourth of ten", 10, 3, 3, "#4   Counts=", 3},
      {"first forever period", FOREVER_REPEAT, 0, 0, "#1   Counts=", 0},
  };
  for (const CancelCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.fields.values.repeat = c.repeat;
    r.controller->OnStart();
    for (int i = 0; i < c.periods_before; ++i) r.Period(9);

    // Half of the period in progress is recorded when Cancel comes: its six clicks count,
    // the unrecorded half adds none.
    r.device->Record(MonoClicks(11025 / 2, 12, 1));
    const size_t before = r.window.log.lines.size();
    r.controller->OnCancelSampling();
    EXPECT_EQ(r.LogFrom(before), std::vector<std::string>{"Cancelled."});
    EXPECT_TRUE(r.Idle());
    EXPECT_EQ(r.state.repeat, c.repeat_after);
    r.owner.RunPending();

    const std::vector<std::string> after = r.LogFrom(before);
    ASSERT_GE(after.size(), 3u);
    EXPECT_EQ(after[1].rfind(c.final_prefix, 0), 0u) << after[1];
    EXPECT_EQ(after.back(), "Done counting.");
    EXPECT_EQ(r.state.history.entries()[c.final_entry], 6u);
    EXPECT_EQ(r.state.iteration, c.final_entry + 1);
    EXPECT_FALSE(r.device->queued);
    EXPECT_FALSE(r.controller->capturing());
    EXPECT_EQ(r.window.repeat.Text(), "10");
    EXPECT_TRUE(r.Idle());
  }
}

TEST_F(CaptureTest, CancelAfterTheCompletionWasPostedStillEndsTheRun) {
  controller->OnStart();
  Period(4);
  // The buffer is full and its completion is queued for the owner when Cancel comes.
  ASSERT_TRUE(device->Complete(MonoClicks(11025, 7, 1)));
  controller->OnCancelSampling();
  EXPECT_EQ(state.repeat, 1u);
  owner.RunPending();
  EXPECT_EQ(window.log.lines.back(), "Done counting.");
  EXPECT_EQ(state.iteration, 2u);
  EXPECT_EQ(state.history.entries()[1], 7u);
  EXPECT_FALSE(device->queued);
  EXPECT_TRUE(Idle());
}

// Start pressed at once after Cancel, before the owner has run the completion of the stopped
// period: that period is still reported and the run still ends before the new one starts.
TEST_F(CaptureTest, StartRightAfterCancelFinishesTheCancelledRunFirst) {
  fields.values.repeat = 10;
  controller->OnStart();
  Period(9);
  Period(9);
  device->Record(MonoClicks(11025 / 2, 12, 1));
  const size_t before = window.log.lines.size();
  controller->OnCancelSampling();
  controller->OnStart();
  owner.RunPending();

  const std::vector<std::string> log = LogFrom(before);
  ASSERT_EQ(log.size(), 8u);
  EXPECT_EQ(log[0], "Cancelled.");
  EXPECT_EQ(log[1].rfind("#3   Counts=6 ", 0), 0u) << log[1];
  EXPECT_EQ(log[2].rfind("   95% confidence interval on 6 counts", 0), 0u) << log[2];
  EXPECT_EQ(std::vector<std::string>(log.begin() + 3, log.end()),
            (std::vector<std::string>{
                "Done counting.",
                "",
                "Starting recording.",
                "Sampling time=1 secs, repeat 10 times.",
                *state.started,
            }));
  // The new run starts afresh.
  EXPECT_EQ(state.iteration, 0u);
  EXPECT_EQ(state.repeat, 10u);
  EXPECT_TRUE(Running());
  EXPECT_EQ(device->adds_while_queued, 0);
  Period(4);
  EXPECT_EQ(state.history.entries()[0], 4u);
  EXPECT_EQ(state.iteration, 1u);
}

TEST_F(CaptureTest, CancelWithoutDevice) {
  controller->OnCancelSampling();
  EXPECT_EQ(window.log.lines, std::vector<std::string>{"Audio input not open."});
  EXPECT_EQ(state.repeat, 10u);
}

struct FailureCase {
  const char* name;
  bool open_ok, add_ok, start_ok;
  std::vector<std::string> log;
  std::vector<std::string> calls;
  int saves;
};

TEST(CaptureTable, FailedStartsLeaveTheButtons) {
  const FailureCase cases[] = {
      {"open",
       false,
       true,
       true,
       {"Audio sampling rate = 11025 per second", "Error: No device here", "Audio input not open."},
       {"Open 1"},
       0},
      {"add buffer",
       true,
       false,
       true,
       {"Audio sampling rate = 11025 per second", "Opened Audio Input.", "Failed to add buffer."},
       {"Open 1", "AddBuffer"},
       1},
      {"start",
       true,
       true,
       false,
       {"Audio sampling rate = 11025 per second", "Opened Audio Input.",
        "Failed to start recording."},
       {"Open 1", "AddBuffer", "Start"},
       1},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.state.iteration = 7;
    r.device->open_ok = c.open_ok;
    r.device->add_ok = c.add_ok;
    r.device->start_ok = c.start_ok;

    r.controller->OnStart();
    EXPECT_EQ(r.window.log.lines, c.log);
    EXPECT_EQ(r.device->calls, c.calls);
    EXPECT_EQ(r.fields.saves, c.saves);
    EXPECT_TRUE(r.Idle());
    EXPECT_FALSE(r.state.started.has_value());
    EXPECT_EQ(r.state.iteration,
              c.open_ok ? 0u : 7u);  // the history is reset once r.fields are read

    // The r.device works again: the next Start succeeds, handing back a buffer left queued first.
    r.device->open_ok = r.device->add_ok = r.device->start_ok = true;
    r.controller->OnStart();
    r.owner.RunPending();
    EXPECT_TRUE(r.Running());
    EXPECT_EQ(r.device->adds_while_queued, 0);
    EXPECT_EQ(r.window.log.lines.back(), *r.state.started);
    r.Period(2);
    EXPECT_EQ(r.state.history.entries()[0], 2u);
    EXPECT_EQ(r.state.iteration, 1u);
  }
}

TEST_F(CaptureTest, FailedValidationStartsNothing) {
  fields.valid = false;
  controller->OnStart();
  EXPECT_EQ(window.log.lines, (std::vector<std::string>{"Audio sampling rate = 11025 per second",
                                                        "Opened Audio Input."}));
  EXPECT_EQ(device->calls, std::vector<std::string>{"Open 1"});
  EXPECT_TRUE(Idle());
  EXPECT_FALSE(window.graph.IsEnabled());
}

TEST_F(CaptureTest, RefusedBufferLogsTheMemoryMessage) {
  state.coincidence = 1;
  state.allocation_limit = 2204977950u - 1;
  state.iteration = 4;
  fields.values.sampletime = 99999;
  controller->OnStart();
  EXPECT_EQ(window.log.lines.back(), "Can't get that much memory.  Use a shorter sample time.");
  EXPECT_EQ(state.sampletime, 99999u);
  EXPECT_TRUE(window.graph.IsEnabled());
  EXPECT_EQ(window.counts.Text(), "0");
  EXPECT_FALSE(state.sample_buffer.present());
  EXPECT_EQ(state.iteration, 4u);
  EXPECT_TRUE(Idle());
  EXPECT_EQ(device->calls, std::vector<std::string>{"Open 2"});

  // One byte more is allowed: the same request succeeds (pages are committed lazily).
  state.allocation_limit = 2204977950u;
  controller->OnStart();
  EXPECT_EQ(state.sample_buffer.size(), 2204977950u);
  EXPECT_TRUE(Running());
  controller->StopAndClose();
}

TEST_F(CaptureTest, CoincidenceChangeReopensTheDevice) {
  fields.values.repeat = 1;
  controller->OnStart();
  Period(3);
  state.coincidence = 1;
  const size_t before = window.log.lines.size();
  controller->OnStart();
  const std::vector<std::string> log = LogFrom(before);
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 3),
            (std::vector<std::string>{"Closed Audio.", "Audio sampling rate = 11025 per second",
                                      "Opened Audio Input."}));
  EXPECT_EQ(device->devices_made, 2);
  EXPECT_EQ(device->channels, 2u);
  EXPECT_EQ(device->buffer.size(), 22050u);
  Period(5);
  EXPECT_EQ(state.history.entries()[0], 5u);  // counted as coincidences
}

TEST_F(CaptureTest, PeriodKeepsTheLengthItWasRecordedWith) {
  fields.values.repeat = 3;
  controller->OnStart();
  {
    std::lock_guard lock(state.shared_mutex);
    state.sampletime = 5;  // as another window might, in mid-run
  }
  Period(9);
  EXPECT_EQ(state.history.entries()[0], 9u);
  EXPECT_DOUBLE_EQ(state.current_cpm, 9 * 60.0);
}

TEST_F(CaptureTest, StopAndCloseHandsTheBufferBackAndForgetsTheDevice) {
  controller->OnStart();
  Period(2);
  controller->StopAndClose();
  EXPECT_FALSE(controller->device_open());
  EXPECT_FALSE(device->queued);
  const std::vector<std::string> tail(device->calls.end() - 2, device->calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"Stop", "Close"}));
  owner.RunPending();  // the handed-back buffer's completion is dropped
  EXPECT_EQ(state.iteration, 1u);
  EXPECT_EQ(PeriodLines(window.log.lines).size(), 1u);
  // A later Start opens it again.
  controller->OnStart();
  EXPECT_EQ(device->devices_made, 2);
  EXPECT_TRUE(Running());
}

TEST_F(CaptureTest, CompletionAfterTheControllerIsGoneTouchesNothing) {
  controller->OnStart();
  ASSERT_TRUE(device->Complete(MonoClicks(11025, 3, 1)));
  ASSERT_EQ(owner.PendingCount(), 1u);
  const size_t lines = window.log.lines.size();
  controller.reset();
  EXPECT_EQ(owner.RunPending(), 1u);
  EXPECT_EQ(window.log.lines.size(), lines);
  EXPECT_EQ(state.iteration, 0u);
}

TEST_F(CaptureTest, StartDuringARunAbandonsTheOldPeriod) {
  controller->OnStart();
  Period(2);
  // The completion of the period in progress is already on its way when Start comes again.
  ASSERT_TRUE(device->Complete(MonoClicks(11025, 8, 1)));
  controller->OnStart();
  owner.RunPending();
  EXPECT_EQ(state.iteration, 0u);  // the old period is not stored in the new run
  EXPECT_EQ(device->adds_while_queued, 0);
  EXPECT_TRUE(device->queued);
  Period(4);
  EXPECT_EQ(state.history.entries()[0], 4u);
}

// What the period listeners hear of a run: its start, its periods, and how it ended.
class RunWords : public PeriodListener {
 public:
  void OnRunStart(const RunReport& run) override {
    words.push_back("start " + std::to_string(run.repeat));
    starts.push_back(run.start_ms);
  }
  void OnPeriod(const PeriodReport& period) override {
    words.push_back("period " + std::to_string(period.counts));
    periods.push_back(period);
  }
  void OnRunEnd(int64_t, RunEnd how) override {
    words.push_back(how == RunEnd::kDone        ? "done"
                    : how == RunEnd::kCancelled ? "cancelled"
                                                : "stopped");
  }
  std::vector<std::string> words;
  std::vector<int64_t> starts;
  std::vector<PeriodReport> periods;
};

struct RunEndCase {
  const char* name;
  uint32_t repeat;
  std::function<void(Rig&)> after_first_period;
  std::vector<std::string> words;
};

TEST(CaptureTable, ListenersHearEachRunFromStartToEnd) {
  const RunEndCase cases[] = {
      {"counted to the end",
       2,
       [](Rig& r) { r.Period(5); },
       {"start 2", "period 4", "period 5", "done"}},
      {"cancelled: the period in progress is still the run's",
       10,
       [](Rig& r) {
         r.device->Record(MonoClicks(11025 / 2, 12, 1));
         r.controller->OnCancelSampling();
         r.owner.RunPending();
       },
       {"start 10", "period 4", "period 6", "cancelled"}},
      {"the window closed",
       10,
       [](Rig& r) { r.controller->StopAndClose(); },
       {"start 10", "period 4", "stopped"}},
      {"a new Start",
       10,
       [](Rig& r) { r.controller->OnStart(); },
       {"start 10", "period 4", "stopped", "start 10"}},
  };
  for (const RunEndCase& c : cases) {
    SCOPED_TRACE(c.name);
    RunWords heard;  // outlives the controller, which ends a run still open as it goes
    Rig r;
    r.state.period_listeners.push_back(&heard);
    r.fields.values.repeat = c.repeat;
    r.controller->OnStart();
    r.Period(4);
    c.after_first_period(r);
    EXPECT_EQ(heard.words, c.words);
    // A period starts when its buffer was queued (the fake device fills it at once), and the
    // run with its first period.
    ASSERT_FALSE(heard.periods.empty());
    EXPECT_EQ(heard.periods[0].start_ms, heard.starts[0]);
    for (const PeriodReport& period : heard.periods) {
      EXPECT_LE(period.start_ms, period.end_ms);
      EXPECT_LT(period.end_ms - period.start_ms, 1000);
    }
  }
}

}  // namespace
