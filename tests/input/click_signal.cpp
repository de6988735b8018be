// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "click_signal.h"

#include <cstddef>
#include <fstream>
#include <stdexcept>

namespace {

constexpr uint32_t kRate = 11025;

// Adds a pulse of height `jump` starting at `frame` in `channel`, decaying by one per frame.
void AddPulse(std::vector<uint8_t>& samples, unsigned channels, unsigned channel, uint64_t frame,
              int jump) {
  const uint64_t frames = samples.size() / channels;
  for (int k = 0; k < jump && frame + k < frames; ++k) {
    samples[(frame + k) * channels + channel] = static_cast<uint8_t>(kBaseline + jump - k);
  }
}

}  // namespace

std::vector<uint8_t> MonoClicks(uint32_t frames, uint32_t clicks_per_second, uint32_t first_frame) {
  const uint32_t spacing = kRate / clicks_per_second;
  std::vector<uint8_t> samples(uint64_t{frames} + first_frame, kBaseline);
  frames += first_frame;
  for (uint64_t at = 0; at < frames; at += spacing) {
    AddPulse(samples, 1, 0, at, kClickJump);
    AddPulse(samples, 1, 0, at + spacing / 2, kQuietJump);
  }
  samples.erase(samples.begin(), samples.begin() + first_frame);
  return samples;
}

std::vector<uint8_t> CoincidentClicks(uint32_t frames, uint32_t clicks_per_second,
                                      uint32_t first_frame) {
  const uint32_t spacing = kRate / clicks_per_second;
  frames += first_frame;
  std::vector<uint8_t> samples(uint64_t{frames} * 2, kBaseline);
  for (uint64_t at = 0; at < frames; at += spacing) {
    AddPulse(samples, 2, 0, at, kClickJump);
    AddPulse(samples, 2, 1, at, kClickJump);
    AddPulse(samples, 2, 0, at + spacing / 4, kClickJump);
    AddPulse(samples, 2, 0, at + spacing / 2, kQuietJump);
    AddPulse(samples, 2, 1, at + spacing / 2, kQuietJump);
    AddPulse(samples, 2, 1, at + 3 * spacing / 4, kClickJump);
  }
  samples.erase(samples.begin(), samples.begin() + 2 * ptrdiff_t{first_frame});
  return samples;
}

std::string WriteFileCaptureConfig(const std::string& dir, const std::vector<uint8_t>& samples,
                                   uint32_t repeats) {
  const std::string raw = dir + "/capture.raw";
  const std::string config = dir + "/asound.conf";
  {
    std::ofstream out(raw, std::ios::binary | std::ios::trunc);
    for (uint32_t i = 0; i < repeats; ++i) {
      out.write(reinterpret_cast<const char*>(samples.data()),
                static_cast<std::streamsize>(samples.size()));
    }
    if (!out) throw std::runtime_error("cannot write " + raw);
  }
  std::ofstream out(config, std::ios::trunc);
  // The system configuration first: it defines the plugin types and the null device. The file
  // plugin reads the capture data from `infile` in the stream's own format (raw), so the file
  // holds exactly the frames the stream asks for; past its end ALSA delivers stale data, so the
  // file must outlast the run.
  out << "</usr/share/alsa/alsa.conf>\n"
      << "pcm.!default {\n"
      << "  type file\n"
      << "  slave.pcm \"null\"\n"
      << "  file \"/dev/null\"\n"
      << "  infile \"" << raw << "\"\n"
      << "  format \"raw\"\n"
      << "}\n";
  if (!out) throw std::runtime_error("cannot write " + config);
  return config;
}
