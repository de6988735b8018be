// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// Detector throughput against the limit of the machine, and the cost of one period.
// Run: build/release/bench/blipcount_bench
//
// The limit, BM_MemoryRead, is the fastest of several ways to read every byte of the same buffer
// (a sum of every byte, a max-then-sum over four vectors at a time, each in AVX2 and, where the
// processor has it, AVX-512BW), chosen for each buffer size by timing them all in this process
// first; its label names the way that won. Each way is also listed as BM_MemoryRead_<way>.
//
// BM_DetectorsAgainstTheLimit times the limit and the two detectors in turn, many times over,
// and gives each detector's speed as a share of the limit's.
//
// BM_ProcessSample is one whole period (count, store, report, log) of one second of audio, with
// a history of 10 or of 999,999 entries (the largest scroll width), in forever and normal mode.
#include <benchmark/benchmark.h>
#include <immintrin.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/counter_state.h"
#include "core/detect.h"
#include "core/process.h"
#include "support/fake_controls.h"

namespace {

constexpr size_t kLarge = size_t{1} << 30;  // 1 GiB: far beyond every cache
constexpr size_t kPeriod = 11025;           // one second of one channel: stays in cache

// A meter's signal: quiet around 128 with a click every few hundred samples.
const uint8_t* Samples() {
  static const std::unique_ptr<uint8_t[]> samples = [] {
    auto data = std::make_unique<uint8_t[]>(kLarge);
    std::mt19937 random(7);
    for (size_t i = 0; i < kLarge; i += 4096) {
      for (size_t j = i; j < i + 4096; ++j) data[j] = static_cast<uint8_t>(126 + (j * 7 % 5));
      for (int k = 0; k < 12; ++k) data[i + random() % 4090] = 250;
    }
    return data;
  }();
  return samples.get();
}

using Pass = uint64_t (*)(const uint8_t*, size_t);

uint64_t SumBytesSse2(const uint8_t* data, size_t length) {
  __m128i a = _mm_setzero_si128(), b = a;
  const __m128i zero = _mm_setzero_si128();
  size_t i = 0;
  for (; i + 32 <= length; i += 32) {
    a = _mm_add_epi64(
        a, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)), zero));
    b = _mm_add_epi64(
        b, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 16)), zero));
  }
  __m128i s = _mm_add_epi64(a, b);
  uint64_t total = static_cast<uint64_t>(_mm_cvtsi128_si64(s)) +
                   static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(s, s)));
  for (; i < length; ++i) total += data[i];
  return total;
}

__attribute__((target("avx2"))) uint64_t Total256(__m256i s) {
  return static_cast<uint64_t>(_mm256_extract_epi64(s, 0)) +
         static_cast<uint64_t>(_mm256_extract_epi64(s, 1)) +
         static_cast<uint64_t>(_mm256_extract_epi64(s, 2)) +
         static_cast<uint64_t>(_mm256_extract_epi64(s, 3));
}

__attribute__((target("avx2"))) uint64_t SumBytesAvx2(const uint8_t* data, size_t length) {
  __m256i a = _mm256_setzero_si256(), b = a, c = a, d = a;
  const __m256i zero = _mm256_setzero_si256();
  size_t i = 0;
  for (; i + 128 <= length; i += 128) {
    const auto* at = reinterpret_cast<const __m256i*>(data + i);
    a = _mm256_add_epi64(a, _mm256_sad_epu8(_mm256_loadu_si256(at), zero));
    b = _mm256_add_epi64(b, _mm256_sad_epu8(_mm256_loadu_si256(at + 1), zero));
    c = _mm256_add_epi64(c, _mm256_sad_epu8(_mm256_loadu_si256(at + 2), zero));
    d = _mm256_add_epi64(d, _mm256_sad_epu8(_mm256_loadu_si256(at + 3), zero));
  }
  uint64_t total = Total256(_mm256_add_epi64(_mm256_add_epi64(a, b), _mm256_add_epi64(c, d)));
  for (; i < length; ++i) total += data[i];
  return total;
}

// Every byte is loaded, but only one sum is made per four vectors: the least work per byte.
__attribute__((target("avx2"))) uint64_t MaxThenSumAvx2(const uint8_t* data, size_t length) {
  __m256i a = _mm256_setzero_si256(), b = a;
  const __m256i zero = _mm256_setzero_si256();
  size_t i = 0;
  for (; i + 256 <= length; i += 256) {
    const auto* at = reinterpret_cast<const __m256i*>(data + i);
    __m256i m0 =
        _mm256_max_epu8(_mm256_max_epu8(_mm256_loadu_si256(at), _mm256_loadu_si256(at + 1)),
                        _mm256_max_epu8(_mm256_loadu_si256(at + 2), _mm256_loadu_si256(at + 3)));
    __m256i m1 =
        _mm256_max_epu8(_mm256_max_epu8(_mm256_loadu_si256(at + 4), _mm256_loadu_si256(at + 5)),
                        _mm256_max_epu8(_mm256_loadu_si256(at + 6), _mm256_loadu_si256(at + 7)));
    a = _mm256_add_epi64(a, _mm256_sad_epu8(m0, zero));
    b = _mm256_add_epi64(b, _mm256_sad_epu8(m1, zero));
  }
  uint64_t total = Total256(_mm256_add_epi64(a, b));
  for (; i < length; ++i) total += data[i];
  return total;
}

// The sum of the eight 64-bit lanes. (GCC 12's reduction intrinsic trips its own
// uninitialised-variable warning.)
__attribute__((target("avx512bw"))) uint64_t Total512(__m512i s) {
  uint64_t lanes[8];
  _mm512_storeu_si512(lanes, s);
  uint64_t total = 0;
  for (uint64_t lane : lanes) total += lane;
  return total;
}

__attribute__((target("avx512bw"))) uint64_t SumBytesAvx512(const uint8_t* data, size_t length) {
  __m512i a = _mm512_setzero_si512(), b = a, c = a, d = a;
  const __m512i zero = _mm512_setzero_si512();
  size_t i = 0;
  for (; i + 256 <= length; i += 256) {
    const uint8_t* at = data + i;
    a = _mm512_add_epi64(a, _mm512_sad_epu8(_mm512_loadu_si512(at), zero));
    b = _mm512_add_epi64(b, _mm512_sad_epu8(_mm512_loadu_si512(at + 64), zero));
    c = _mm512_add_epi64(c, _mm512_sad_epu8(_mm512_loadu_si512(at + 128), zero));
    d = _mm512_add_epi64(d, _mm512_sad_epu8(_mm512_loadu_si512(at + 192), zero));
  }
  uint64_t total = Total512(_mm512_add_epi64(_mm512_add_epi64(a, b), _mm512_add_epi64(c, d)));
  for (; i < length; ++i) total += data[i];
  return total;
}

__attribute__((target("avx512bw"))) uint64_t MaxThenSumAvx512(const uint8_t* data, size_t length) {
  __m512i a = _mm512_setzero_si512(), b = a;
  const __m512i zero = _mm512_setzero_si512();
  size_t i = 0;
  for (; i + 512 <= length; i += 512) {
    const uint8_t* at = data + i;
    __m512i m0 = _mm512_max_epu8(
        _mm512_max_epu8(_mm512_loadu_si512(at), _mm512_loadu_si512(at + 64)),
        _mm512_max_epu8(_mm512_loadu_si512(at + 128), _mm512_loadu_si512(at + 192)));
    __m512i m1 = _mm512_max_epu8(
        _mm512_max_epu8(_mm512_loadu_si512(at + 256), _mm512_loadu_si512(at + 320)),
        _mm512_max_epu8(_mm512_loadu_si512(at + 384), _mm512_loadu_si512(at + 448)));
    a = _mm512_add_epi64(a, _mm512_sad_epu8(m0, zero));
    b = _mm512_add_epi64(b, _mm512_sad_epu8(m1, zero));
  }
  uint64_t total = Total512(_mm512_add_epi64(a, b));
  for (; i < length; ++i) total += data[i];
  return total;
}

struct Way {
  const char* name;
  Pass pass;
};

// The ways this processor can run.
const std::vector<Way>& Ways() {
  static const std::vector<Way> ways = [] {
    __builtin_cpu_init();
    std::vector<Way> found = {{"sum_sse2", SumBytesSse2}};
    if (__builtin_cpu_supports("avx2")) {
      found.push_back({"sum_avx2", SumBytesAvx2});
      found.push_back({"max_then_sum_avx2", MaxThenSumAvx2});
    }
    if (__builtin_cpu_supports("avx512bw")) {
      found.push_back({"sum_avx512bw", SumBytesAvx512});
      found.push_back({"max_then_sum_avx512bw", MaxThenSumAvx512});
    }
    return found;
  }();
  return ways;
}

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The way with the least CPU time over `length` bytes: each way is timed in rounds that
// alternate between the ways, and each keeps its best round, so a busy moment of the machine
// cannot make one way look slower than another.
const Way& FastestWay(size_t length) {
  static std::vector<std::pair<size_t, size_t>> chosen;  // length, index into Ways()
  for (const auto& [size, index] : chosen) {
    if (size == length) return Ways()[index];
  }
  const uint8_t* samples = Samples();
  const int passes = static_cast<int>(std::max<size_t>(1, (size_t{64} << 20) / length));
  std::vector<double> best(Ways().size(), 1e300);
  for (int round = 0; round < 7; ++round) {
    for (size_t w = 0; w < Ways().size(); ++w) {
      const double start = ThreadCpuSeconds();
      for (int p = 0; p < passes; ++p) benchmark::DoNotOptimize(Ways()[w].pass(samples, length));
      best[w] = std::min(best[w], ThreadCpuSeconds() - start);
    }
  }
  const size_t index =
      static_cast<size_t>(std::min_element(best.begin(), best.end()) - best.begin());
  chosen.emplace_back(length, index);
  return Ways()[index];
}

void Run(benchmark::State& state, Pass pass) {
  const size_t length = static_cast<size_t>(state.range(0));
  const uint8_t* samples = Samples();
  for (auto _ : state) benchmark::DoNotOptimize(pass(samples, length));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(length));
}

void BM_MemoryRead(benchmark::State& state) {
  const Way& way = FastestWay(static_cast<size_t>(state.range(0)));
  state.SetLabel(way.name);
  Run(state, way.pass);
}

void BM_CountPulses(benchmark::State& state) {
  Run(state, [](const uint8_t* d, size_t n) -> uint64_t { return CountPulses(d, n, 100); });
}

void BM_CountCoincidences(benchmark::State& state) {
  Run(state, [](const uint8_t* d, size_t n) -> uint64_t { return CountCoincidences(d, n, 100); });
}

void BM_CountPulsesPlainLoop(benchmark::State& state) {
  Run(state, [](const uint8_t* d, size_t n) { return detect_kernels::PulsesPlain(d, n, 100); });
}

void BM_CountCoincidencesPlainLoop(benchmark::State& state) {
  Run(state,
      [](const uint8_t* d, size_t n) { return detect_kernels::CoincidencesPlain(d, n, 100); });
}

#define SIZES Arg(kLarge)->Arg(kPeriod)
BENCHMARK(BM_MemoryRead)->SIZES;
BENCHMARK(BM_CountPulses)->SIZES;
BENCHMARK(BM_CountCoincidences)->SIZES;
BENCHMARK(BM_CountPulsesPlainLoop)->SIZES;
BENCHMARK(BM_CountCoincidencesPlainLoop)->SIZES;

const bool kWaysRegistered = [] {
  for (const Way& way : Ways()) {
    benchmark::RegisterBenchmark((std::string("BM_MemoryRead_") + way.name).c_str(),
                                 [pass = way.pass](benchmark::State& s) { Run(s, pass); })
        ->SIZES;
  }
  return true;
}();

// The detectors against the limit in the same moments: each iteration times a batch of passes
// of the limit's way, of CountPulses and of CountCoincidences in turn, so a busy spell of the
// machine slows all three alike. Counters: each detector's speed as a share of the limit's
// (CPU time; 1 is the limit's speed), and the CPU time of one detector pass.
void BM_DetectorsAgainstTheLimit(benchmark::State& state) {
  const size_t length = static_cast<size_t>(state.range(0));
  const Way& limit = FastestWay(length);
  const uint8_t* samples = Samples();
  const int batch = static_cast<int>(std::max<size_t>(1, (size_t{16} << 20) / length));
  const auto timed = [&](auto pass) {
    const double start = ThreadCpuSeconds();
    for (int i = 0; i < batch; ++i) benchmark::DoNotOptimize(pass());
    return ThreadCpuSeconds() - start;
  };
  double limit_seconds = 0, pulses_seconds = 0, coincidences_seconds = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    limit_seconds += timed([&] { return limit.pass(samples, length); });
    pulses_seconds += timed([&] { return CountPulses(samples, length, 100); });
    coincidences_seconds += timed([&] { return CountCoincidences(samples, length, 100); });
  }
  const double passes = static_cast<double>(state.iterations()) * batch;
  state.counters["pulses_vs_limit"] = limit_seconds / pulses_seconds;
  state.counters["coincidences_vs_limit"] = limit_seconds / coincidences_seconds;
  state.counters["pulses_ns"] = pulses_seconds / passes * 1e9;
  state.counters["coincidences_ns"] = coincidences_seconds / passes * 1e9;
  state.SetLabel(limit.name);
}
BENCHMARK(BM_DetectorsAgainstTheLimit)->SIZES->Unit(benchmark::kMillisecond);

// The log keeps only its newest line: a long run adds millions.
class KeptLastLine : public LogControl {
 public:
  void AddLine(const std::string& line) override {
    last_ = line;
    ++lines_;
  }
  size_t LineCount() const override { return lines_; }
  void Clear() override { lines_ = 0; }

 private:
  std::string last_;
  size_t lines_ = 0;
};

// One period of one second of a meter's clicks with a history of range(0) entries: forever mode
// when range(1) is 1 (the window scrolls), else a normal run at period range(0) (each loop goes
// back one period, so every period is the one that reads range(0) entries).
void BM_ProcessSample(benchmark::State& state) {
  const auto entries = static_cast<uint32_t>(state.range(0));
  const bool forever = state.range(1) == 1;
  CounterState counter;
  FakeText fields[5];
  KeptLastLine log;
  counter.controls.counts_field = &fields[0];
  counter.controls.cpm_field = &fields[1];
  counter.controls.mrhr_field = &fields[2];
  counter.controls.avg_cpm_field = &fields[3];
  counter.controls.avg_mrhr_field = &fields[4];
  counter.controls.log_list = &log;
  counter.sample_buffer = ZeroedBlock::Allocate(kPeriod);
  std::memcpy(counter.sample_buffer.data(), Samples(), kPeriod);
  counter.scrollwidth = forever ? entries : 60;
  counter.repeat = forever ? FOREVER_REPEAT : entries + 1;
  counter.history = CountHistory::Allocate(forever ? entries : entries + 1);
  std::mt19937 random(3);
  std::poisson_distribution<uint32_t> counts(30.0);
  for (uint32_t i = 0; i < entries; ++i) counter.history.Store(i, counts(random));
  counter.iteration = forever ? entries - 1 : entries;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    if (!forever) counter.iteration = entries;
    ProcessSample(counter);
  }
  benchmark::DoNotOptimize(counter.average_counts);
}
BENCHMARK(BM_ProcessSample)
    ->ArgNames({"entries", "forever"})
    ->Args({10, 1})
    ->Args({999999, 1})
    ->Args({10, 0})
    ->Args({999999, 0});

}  // namespace

BENCHMARK_MAIN();
