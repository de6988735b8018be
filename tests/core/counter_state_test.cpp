// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/counter_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

namespace {

CountHistory HistoryOf(std::initializer_list<uint32_t> counts) {
  CountHistory history = CountHistory::Allocate(counts.size());
  uint64_t i = 0;
  for (uint32_t c : counts) history.Store(i++, c);
  return history;
}

// Resident memory of this process in bytes.
uint64_t ResidentBytes() {
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  unsigned long size = 0, resident = 0;
  if (f != nullptr) {
    if (std::fscanf(f, "%lu %lu", &size, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return uint64_t{resident} * 4096;
}

TEST(CounterState, StartsWithTheDefaults) {
  CounterState state;
  EXPECT_EQ(state.threshold, 100u);
  EXPECT_EQ(state.scale, 600.0f);
  EXPECT_EQ(state.sampletime, 1u);
  EXPECT_EQ(state.repeat, 10u);
  EXPECT_EQ(state.webport, 700u);
  EXPECT_EQ(state.scrollwidth, 60u);
  EXPECT_EQ(state.graphtitle, "   Counts Per Minute   ");
  EXPECT_EQ(state.samplerate, 11025u);
  EXPECT_EQ(state.connectpoints, 1);
  EXPECT_EQ(state.logconfidence, 1);
  EXPECT_EQ(state.verticalbars + state.fillgraph + state.savegraph, 0);
  EXPECT_EQ(state.coincidence, 0);
  EXPECT_EQ(state.banner.rfind("Blipcount Pulse Logger  v 0.83", 0), 0u);
  EXPECT_FALSE(state.history.present());
  EXPECT_FALSE(state.started.has_value());
  EXPECT_FALSE(state.forever());
}

TEST(MeanAndMax, OverTheEntriesAskedFor) {
  struct Case {
    std::vector<uint32_t> counts;
    uint64_t n;
    uint32_t mean, max;
  };
  const Case cases[] = {
      {{}, 0, 0, 0},
      {{1, 2}, 0, 0, 0},
      {{1, 2}, 2, 1, 2},
      {{3, 7, 7, 2}, 4, 4, 7},
      {{3, 7, 7, 2}, 2, 5, 7},
      // More entries asked for than the history holds: only those that exist are taken.
      {{4, 6}, 10, 5, 6},
      // The sum wraps in 32 bits, as the integer mean it stands for does.
      {{0xFFFFFFFFu, 3}, 2, 1, 0xFFFFFFFFu},
  };
  for (const Case& c : cases) {
    CountHistory history = CountHistory::Allocate(c.counts.size());
    for (size_t i = 0; i < c.counts.size(); ++i) history.Store(i, c.counts[i]);
    EXPECT_EQ(MeanCounts(history, c.n), c.mean) << "n=" << c.n;
    EXPECT_EQ(MaxCounts(history, c.n), c.max) << "n=" << c.n;
  }
  CountHistory absent;
  EXPECT_EQ(MeanCounts(absent, 5), 0u);
  EXPECT_EQ(MaxCounts(absent, 5), 0u);
}

TEST(TimeStamp, HasTheFixedLayoutWithAZeroPaddedDay) {
  const char* old_tz = std::getenv("TZ");
  std::string saved = old_tz ? old_tz : "";
  setenv("TZ", "UTC", 1);
  tzset();
  std::tm when{};
  when.tm_year = 2004 - 1900;
  when.tm_mon = 4;
  when.tm_mday = 3;
  when.tm_hour = 14;
  when.tm_min = 2;
  when.tm_sec = 7;
  std::time_t t = timegm(&when);
  EXPECT_EQ(TimeStamp(t), "Mon May 03 14:02:07 2004\n");
  EXPECT_EQ(TimeStamp(0), "Thu Jan 01 00:00:00 1970\n");
  if (old_tz) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
  std::string now = TimeStamp();
  ASSERT_EQ(now.size(), 25u);
  EXPECT_EQ(now.back(), '\n');
}

TEST(CountHistory, StoresAndReadsOnlyInsideItself) {
  CountHistory history = HistoryOf({1, 2, 3});
  EXPECT_TRUE(history.Store(2, 9));
  EXPECT_FALSE(history.Store(3, 9));
  EXPECT_FALSE(history.Store(UINT64_MAX, 9));
  EXPECT_EQ(history.First(100).size(), 3u);
  EXPECT_EQ(history.First(100)[2], 9u);

  CountHistory empty = CountHistory::Allocate(0);
  EXPECT_TRUE(empty.present());
  EXPECT_FALSE(empty.Store(0, 1));
  EXPECT_TRUE(empty.First(5).empty());
}

TEST(CountHistory, AHugeHistoryCommitsNoMemoryUntilUsed) {
  const uint64_t before = ResidentBytes();
  // The largest repeat count: 16 GiB of entries if they were all committed at once.
  CountHistory history = CountHistory::Allocate(4294967295u);
  ASSERT_TRUE(history.present());
  EXPECT_EQ(history.size(), 4294967295u);
  EXPECT_EQ(MeanCounts(history, 0), 0u);
  history.Store(4294967294u, 7);
  EXPECT_EQ(history.entries().back(), 7u);
  EXPECT_LT(ResidentBytes() - before, 64u << 20);
}

TEST(CountHistory, ARefusedAllocationIsAbsent) {
  CountHistory refused = CountHistory::Allocate(1000, /*limit=*/3999);
  EXPECT_FALSE(refused.present());
  EXPECT_EQ(refused.size(), 0u);
  EXPECT_FALSE(refused.Store(0, 1));
  // A byte size that overflows 64 bits is refused, not wrapped.
  EXPECT_FALSE(CountHistory::Allocate(UINT64_MAX / 2).present());
  EXPECT_TRUE(CountHistory::Allocate(1000, 4000).present());
}

// A history as its users change it, step by step: a store at an index, a forever scroll of a
// window, or many scrolls with counts of a wide spread (near 2^32 too, so the sums wrap).
struct HistoryStep {
  enum Kind { kStore, kScroll, kScrolls } kind;
  uint64_t at;      // the index stored at, or the window scrolled
  uint32_t counts;  // the counts stored, or for kScrolls the number of scrolls
};

// The running sum and the mean against a plain sum of a plain copy, after every step, for every
// count of entries a reader asks for, in a ring and in the fallback that moves the entries.
TEST(CountHistory, RunningSumEqualsTheFullSumWhateverHappened) {
  using S = HistoryStep;
  constexpr uint32_t kTop = 0xFFFFFFFFu;
  struct Case {
    const char* name;
    uint64_t size;
    std::vector<HistoryStep> steps;
  };
  const Case cases[] = {
      {"normal run",
       4,
       {{S::kStore, 0, 3}, {S::kStore, 1, 7}, {S::kStore, 2, 7}, {S::kStore, 3, 2}}},
      {"Zero mid-run: the run stores from 0 again",
       4,
       {{S::kStore, 0, 9},
        {S::kStore, 1, 8},
        {S::kStore, 2, 7},
        {S::kStore, 0, 1},
        {S::kStore, 1, 2}}},
      {"32-bit wrap", 3, {{S::kStore, 0, kTop}, {S::kStore, 1, 3}, {S::kStore, 2, 0x80000000u}}},
      {"forever, round the ring more than twice", 5, {{S::kScrolls, 5, 2500}}},
      {"forever, a ring exactly one page long", 1024, {{S::kScrolls, 1024, 2100}}},
      {"forever, one entry", 1, {{S::kScroll, 1, 4}, {S::kScroll, 1, kTop}, {S::kScroll, 1, 2}}},
      {"forever window shorter than the history (repeat switched in mid-run)",
       8,
       {{S::kStore, 0, 5}, {S::kStore, 7, 6}, {S::kScrolls, 5, 40}, {S::kStore, 6, kTop}}},
      {"forever window longer than the history", 3, {{S::kScrolls, 60, 10}}},
      {"normal again after forever",
       6,
       {{S::kScrolls, 6, 1500}, {S::kStore, 0, 1}, {S::kStore, 1, kTop}, {S::kStore, 2, 4}}},
      {"a store far beyond the stored entries", 5000, {{S::kStore, 4999, 7}, {S::kStore, 0, 2}}},
  };
  std::mt19937 random(99);
  for (const Case& c : cases) {
    for (bool ring : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (ring ? ", ring" : ", moved"));
      CountHistory history = CountHistory::Allocate(c.size, UINT64_MAX, ring);
      ASSERT_EQ(history.ring(), ring);
      std::vector<uint32_t> copy(c.size, 0);
      auto scroll = [&](uint64_t window, uint32_t counts) {
        history.Scroll(window, counts);
        const uint64_t w = std::min<uint64_t>(window, copy.size());
        std::rotate(copy.begin(), copy.begin() + 1, copy.begin() + static_cast<ptrdiff_t>(w));
        copy[w - 1] = counts;
      };
      auto check = [&] {
        ASSERT_TRUE(std::equal(copy.begin(), copy.end(), history.entries().begin(),
                               history.entries().end()));
        for (uint64_t n : {uint64_t{0}, uint64_t{1}, c.size / 2, c.size - 1, c.size, c.size + 1}) {
          uint32_t sum = 0;
          uint64_t total = 0;
          for (uint64_t i = 0; i < std::min(n, c.size); ++i) {
            sum += copy[i];
            total += copy[i];
          }
          ASSERT_EQ(history.Sum(n), sum) << "n=" << n;
          // The exact total (the average's uncertainty is made of it) goes past 32 bits.
          ASSERT_EQ(SumCounts(history, n), total) << "n=" << n;
          ASSERT_EQ(MeanCounts(history, n), n == 0 ? 0 : sum / std::min(n, c.size)) << "n=" << n;
        }
      };
      for (const HistoryStep& step : c.steps) {
        if (step.kind == S::kStore) {
          history.Store(step.at, step.counts);
          copy[step.at] = step.counts;
        } else if (step.kind == S::kScroll) {
          scroll(step.at, step.counts);
        } else {
          for (uint32_t i = 0; i < step.counts; ++i) {
            scroll(step.at, random() % 4 == 0 ? kTop - random() % 1000 : random() % 100);
            if (i % 97 == 0 || i + 1 == step.counts) check();
          }
        }
        check();
      }
    }
  }
}

TEST(ZeroedBlock, MovesOwnership) {
  ZeroedBlock block = ZeroedBlock::Allocate(100);
  ASSERT_TRUE(block.present());
  block.data()[99] = std::byte{5};
  ZeroedBlock moved = std::move(block);
  EXPECT_FALSE(block.present());  // NOLINT(bugprone-use-after-move): the moved-from state is part
                                  // of the contract
  EXPECT_EQ(moved.size(), 100u);
  EXPECT_EQ(moved.data()[99], std::byte{5});
  EXPECT_EQ(moved.data()[0], std::byte{0});
}

}  // namespace
