// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// Writes a recording of evenly spaced meter clicks with a known count.
//
//   make_clicks [--seconds S] [--cps N] [--channels 1|2] [--raw] [--rate HZ] OUT
//
// A WAV file is canonical 8-bit PCM; --raw writes the bare samples (two channels interleaved),
// as a capture device would deliver them. In two channels both detectors click together, so
// every click is also a coincidence. Prints the number of clicks written.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/click_gen.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: make_clicks [--seconds S] [--cps N] [--channels 1|2] [--raw] [--rate HZ] "
               "OUT\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long seconds = 10, cps = 9, channels = 1, rate = 11025;
  bool raw = false;
  std::string out;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto number = [&](unsigned long& into) {
      if (i + 1 >= argc) return false;
      char* end = nullptr;
      into = std::strtoul(argv[++i], &end, 10);
      return end != nullptr && *end == '\0';
    };
    bool ok = true;
    if (arg == "--seconds") {
      ok = number(seconds);
    } else if (arg == "--cps") {
      ok = number(cps);
    } else if (arg == "--channels") {
      ok = number(channels) && (channels == 1 || channels == 2);
    } else if (arg == "--rate") {
      ok = number(rate) && rate > 0;
    } else if (arg == "--raw") {
      raw = true;
    } else if (!arg.empty() && arg[0] != '-' && out.empty()) {
      out = arg;
    } else {
      ok = false;
    }
    if (!ok) return Usage();
  }
  if (out.empty() || seconds == 0 || seconds > 86400 || cps > 1000) return Usage();

  const uint64_t frames = uint64_t{seconds} * rate;
  const auto positions = EvenClickPositions(frames, static_cast<uint32_t>(seconds * cps));
  if (positions.size() != seconds * cps) {
    std::fprintf(stderr, "make_clicks: %lu clicks per second do not fit\n", cps);
    return 2;
  }
  std::vector<uint8_t> samples = RenderClicks(frames, positions);
  if (channels == 2) samples = Interleave(samples, samples);
  const std::vector<uint8_t> bytes =
      raw ? samples
          : CanonicalWav(samples, static_cast<uint32_t>(rate), static_cast<uint16_t>(channels));
  if (!WriteBytes(out, bytes)) {
    std::fprintf(stderr, "make_clicks: cannot write %s\n", out.c_str());
    return 1;
  }
  std::printf("%zu\n", positions.size());
  return 0;
}
