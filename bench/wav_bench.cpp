// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// Read File of a 24-hour recording (11,025 samples a second: 952,560,044 bytes), warm cache,
// wall time, against reading the same file the way cat does (read() into a 128 KiB buffer) in
// the same run:
//   BM_CatRead          the limit
//   BM_CountWavFile     the reader and counter the worker runs, on this thread
//   BM_ReadWholeThenCount  the command as it was before: the whole file into memory, then counted
//   BM_ReadFileInWindow the whole command in the main window (Qt, offscreen): Begin, the worker,
//                       the result applied on the GUI thread; counter owner_max_stall_ms is the
//                       longest the GUI thread's event loop was held at a stretch meanwhile.
// The recording is made once, in $BLIPCOUNT_BENCH_DIR (default /tmp), and kept for later runs.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/detect.h"
#include "input/simulated_meter.h"
#include "input/wav_input.h"
#include "input/wav_reader.h"
#include "tools/click_gen.h"
#include "ui/app.h"
#include "ui/main_window.h"

namespace {

constexpr uint64_t kSamples = uint64_t{24} * 3600 * 11025;

std::string RecordingPath() {
  const char* dir = std::getenv("BLIPCOUNT_BENCH_DIR");
  return std::string(dir != nullptr ? dir : "/tmp") + "/blipcount-bench-24h.wav";
}

void PutLittleEndian32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// A day of a meter's clicks at 30 CPM, in a canonical header.
bool MakeRecording(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && static_cast<uint64_t>(info.st_size) == 44 + kSamples) {
    return true;
  }
  std::vector<uint8_t> header = CanonicalWav({});
  PutLittleEndian32(header.data() + 4, static_cast<uint32_t>(36 + kSamples));
  PutLittleEndian32(header.data() + 40, static_cast<uint32_t>(kSamples));
  const std::string part = path + ".part";
  FILE* out = std::fopen(part.c_str(), "wb");
  if (out == nullptr) return false;
  bool ok = std::fwrite(header.data(), 1, header.size(), out) == header.size();
  ClickSynth synth(MeterSettings{30, 0, 1}, 11025, 1);
  std::vector<uint8_t> samples(size_t{1} << 20);
  for (uint64_t written = 0; ok && written < kSamples; written += samples.size()) {
    samples.resize(static_cast<size_t>(std::min<uint64_t>(samples.size(), kSamples - written)));
    synth.Render(samples, written > 0);
    ok = std::fwrite(samples.data(), 1, samples.size(), out) == samples.size();
  }
  ok = std::fclose(out) == 0 && ok;
  return ok && std::rename(part.c_str(), path.c_str()) == 0;
}

// The count of the period over the whole file at once, as ProcessSample would take it.
int32_t WholeFileCount(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0) return -1;
  void* map = mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (map == MAP_FAILED) return -1;
  const auto* bytes = static_cast<const uint8_t*>(map);
  const int32_t count = CountPulses(bytes + 36, kSamples, 100);
  munmap(map, static_cast<size_t>(info.st_size));
  return count;
}

int32_t g_expected = -1;

void BM_CatRead(benchmark::State& state) {
  const std::string path = RecordingPath();
  std::vector<char> buffer(size_t{128} * 1024);
  uint64_t bytes = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    for (ssize_t got; (got = read(fd, buffer.data(), buffer.size())) > 0;) {
      bytes += static_cast<uint64_t>(got);
    }
    close(fd);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_CatRead)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CountWavFile(benchmark::State& state) {
  const std::string path = RecordingPath();
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    const WavCount count = CountWavFile(path, WavCountSettings{});
    if (count.outcome != WavCount::Outcome::kCounted || count.pulses != g_expected) {
      state.SkipWithError("the count differs from the whole file's");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(kSamples * state.iterations()));
}
BENCHMARK(BM_CountWavFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// The command as it was: the whole file read into the sample buffer, then counted, all on the
// GUI thread. Counter extra_MB: what the buffer holds.
void BM_ReadWholeThenCount(benchmark::State& state) {
  const std::string path = RecordingPath();
  double held = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    uint32_t n = 0;
    ZeroedBlock samples = ReadWaveFile(fd, &n);
    close(fd);
    const int32_t count =
        CountPulses(reinterpret_cast<const uint8_t*>(samples.data()),
                    static_cast<size_t>(std::min<uint64_t>(kSamples, samples.size())), 100);
    held = static_cast<double>(samples.size()) / (1024 * 1024);
    if (count != g_expected) {
      state.SkipWithError("the count differs from the whole file's");
      break;
    }
  }
  state.counters["extra_MB"] = held;
  state.SetBytesProcessed(static_cast<int64_t>(kSamples * state.iterations()));
}
BENCHMARK(BM_ReadWholeThenCount)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadFileInWindow(benchmark::State& state) {
  const std::string path = RecordingPath();
  const QString previous = QDir::currentPath();
  const QString work = QDir::tempPath() + QStringLiteral("/blipcount-wav-bench");
  QDir().mkpath(work);
  QDir::setCurrent(work);
  QtOwnerThread owner;
  QtDesktop desktop;
  CounterState counter;
  counter.owner = &owner;
  double max_stall_ms = 0;
  {
    CBlipcountDlg window(counter, desktop, [] { return std::unique_ptr<AudioInput>(); });
    window.OnInitDialog();
    window.show();
    QApplication::processEvents();
    for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the benchmark loop
      QEventLoop loop;
      QTimer tick;
      tick.setTimerType(Qt::PreciseTimer);
      QElapsedTimer since;
      bool begun = false;
      QObject::connect(&tick, &QTimer::timeout, [&] {
        max_stall_ms = std::max(max_stall_ms, since.nsecsElapsed() / 1e6 - 1.0);
        since.restart();
        if (begun && !window.wav_read().running()) loop.quit();
      });
      QTimer::singleShot(0, [&] {
        since.start();
        tick.start(1);
        window.ReadWavFile(path, &window);
        begun = true;
      });
      loop.exec();
      if (counter.history.size() != 1 ||
          counter.history.entries()[0] != static_cast<uint32_t>(g_expected)) {
        state.SkipWithError("the window's count differs from the whole file's");
        break;
      }
    }
    window.reject();
  }
  QDir::setCurrent(previous);
  state.counters["owner_max_stall_ms"] = max_stall_ms;
  state.SetBytesProcessed(static_cast<int64_t>(kSamples * state.iterations()));
}
BENCHMARK(BM_ReadFileInWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  const std::string path = RecordingPath();
  if (!MakeRecording(path)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  // Reading it whole also brings it into the page cache: every figure is warm-cache.
  g_expected = WholeFileCount(path);
  std::printf("%s: %d pulses in its 86400-second period\n", path.c_str(), g_expected);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
