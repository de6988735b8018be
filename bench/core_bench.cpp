// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// Detector throughput against the limit of the machine: the fastest sum of every byte of the
// same buffer. Run: build/release/bench/blipcount_bench
#include <benchmark/benchmark.h>
#include <immintrin.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>

#include "core/detect.h"

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
  __m256i s = _mm256_add_epi64(_mm256_add_epi64(a, b), _mm256_add_epi64(c, d));
  uint64_t total = static_cast<uint64_t>(_mm256_extract_epi64(s, 0)) +
                   static_cast<uint64_t>(_mm256_extract_epi64(s, 1)) +
                   static_cast<uint64_t>(_mm256_extract_epi64(s, 2)) +
                   static_cast<uint64_t>(_mm256_extract_epi64(s, 3));
  for (; i < length; ++i) total += data[i];
  return total;
}

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

void Run(benchmark::State& state, uint64_t (*pass)(const uint8_t*, size_t)) {
  const size_t length = static_cast<size_t>(state.range(0));
  const uint8_t* samples = Samples();
  for (auto _ : state) benchmark::DoNotOptimize(pass(samples, length));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(length));
}

void BM_MemoryRead(benchmark::State& state) {
  Run(state, detect_kernels::HaveAvx2() ? SumBytesAvx2 : SumBytesSse2);
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

}  // namespace

BENCHMARK_MAIN();
