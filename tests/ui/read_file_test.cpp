// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// Read File from the Options dialog while the event loop runs: the window keeps going while the
// worker reads, a read that takes longer than half a second shows its progress, and Cancel
// leaves everything as it was.
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "input/wav_input.h"
#include "tools/click_gen.h"
#include "ui/options_dialog.h"
#include "ui/read_file_progress.h"
#include "ui_test_support.h"

namespace {

using Lines = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

class ReadFileTest : public UiTest {
 protected:
  ReadFileTest() {
    path_ = (dir_ / "long.wav").string();
    EXPECT_TRUE(WriteBytes(
        path_, CanonicalWav(RenderClicks(5 * 11025, EvenClickPositions(5 * 11025, 40)))));
    desktop_.wav_answer = path_;
  }
  ~ReadFileTest() override {
    Release();
    if (window_ != nullptr) {
      window_->wav_read().Cancel();
      WaitForReadFile();
    }
  }

  // Holds the worker after its first chunk until Release.
  void HoldTheWorker() {
    window().wav_read().SetCountSettings(4096);
    window().wav_read().SetChunkObserver([this](uint64_t) {
      std::unique_lock lock(mutex_);
      held_ = true;
      changed_.wait(lock, [this] { return released_; });
    });
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

  // Runs the event loop and the owner's queue until `done` holds or the time is up.
  template <typename Done>
  bool Spin(Done done, std::chrono::seconds limit = std::chrono::seconds(10)) {
    const auto end = Clock::now() + limit;
    while (!done() && Clock::now() < end) {
      QApplication::processEvents();
      queue_.RunPending();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
  }

  void ClickReadFile() {
    desktop_.on_modal = [this](QDialog& dialog) {
      auto& options = dynamic_cast<COptionsDlg&>(dialog);
      options.show();
      QTest::mouseClick(options.controls().Get<QPushButton>(kReadFileButton), Qt::LeftButton);
      act_(options);
      QTest::keyClick(&options, Qt::Key_Escape);
      return options.result();
    };
    window().OnOptions();
  }

  std::string path_;
  std::function<void(COptionsDlg&)> act_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  bool released_ = false;
};

TEST_F(ReadFileTest, SlowReadShowsItsProgressAndCancelLeavesTheStateAsItWas) {
  for (const bool by_escape : {false, true}) {
    SCOPED_TRACE(by_escape ? "Escape" : "Cancel button");
    {
      std::lock_guard lock(mutex_);
      released_ = false;
    }
    Open();
    HoldTheWorker();
    Type(kRepeatField, "7");
    state_.history = CountHistory::Allocate(3);
    state_.history.Store(0, 12);
    state_.iteration = 1;
    state_.sample_buffer = ZeroedBlock::Allocate(4);
    act_ = [this, by_escape](COptionsDlg&) {
      ASSERT_TRUE(Spin([this] {
        return window().read_progress() != nullptr && window().read_progress()->isVisible();
      }));
      ReadFileProgress* progress = window().read_progress();
      {
        std::lock_guard lock(mutex_);
        EXPECT_TRUE(held_);
      }
      EXPECT_LT(progress->bar()->value(), 10);
      EXPECT_TRUE(window().isEnabled());
      if (by_escape) {
        QTest::keyClick(progress, Qt::Key_Escape);
      } else {
        QTest::mouseClick(progress->cancel_button(), Qt::LeftButton);
      }
      Release();
      ASSERT_TRUE(WaitForReadFile());
      EXPECT_TRUE(Spin([this] { return window().read_progress() == nullptr; }));
    };
    ClickReadFile();

    EXPECT_EQ(Log(), (Lines{kBanner, "Reading WAV File \"" + path_ + "\"", kWavCancelled}));
    EXPECT_EQ(Text(kRepeatField), "7");
    EXPECT_EQ(Text(kSampleTimeField), "1");
    EXPECT_EQ(Text(kCountsField), "");
    EXPECT_EQ(state_.sampletime, 1u);
    ASSERT_EQ(state_.history.size(), 3u);
    EXPECT_EQ(state_.history.entries()[0], 12u);
    EXPECT_EQ(state_.iteration, 1u);
    EXPECT_EQ(state_.sample_buffer.size(), 4u);
    Close();
  }
}

TEST_F(ReadFileTest, QuickReadShowsNoProgressAndGivesTheResult) {
  Open();
  bool progress_shown = false;
  act_ = [&](COptionsDlg&) {
    ASSERT_TRUE(Spin([&] {
      if (window().read_progress() != nullptr && window().read_progress()->isVisible()) {
        progress_shown = true;
      }
      return !window().wav_read().running();
    }));
  };
  ClickReadFile();
  EXPECT_FALSE(progress_shown);
  EXPECT_EQ(window().read_progress(), nullptr);
  const Lines log = Log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[1], "Reading WAV File \"" + path_ + "\"");
  // 40 clicks, and three jumps in the data chunk's length at the start of the period.
  EXPECT_EQ(log[2].rfind("#1   Counts=43 ", 0), 0u) << log[2];
  EXPECT_EQ(Text(kSampleTimeField), "5");
  EXPECT_EQ(Text(kRepeatField), "1");
}

}  // namespace
