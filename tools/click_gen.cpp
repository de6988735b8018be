// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "tools/click_gen.h"

#include <algorithm>
#include <fstream>

namespace {

constexpr uint8_t kSilence = 128;

void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(value & 0xFF);
  out.push_back(value >> 8);
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back((value >> (8 * i)) & 0xFF);
}

// Byte by byte: GCC 12 at -O3 wrongly reports an insert of the four letters into the reserved
// vector as an overflow.
void PutTag(std::vector<uint8_t>& out, const char* tag) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(tag[i]));
}

std::vector<uint8_t> ClickSamples(const ClickShape& shape) {
  std::vector<uint8_t> samples;
  int level = std::min(255, kSilence + shape.height);
  samples.push_back(static_cast<uint8_t>(level));
  const int step = std::max<int>(1, shape.fall_step);
  while (level > kSilence) {
    level = std::max<int>(kSilence, level - step);
    samples.push_back(static_cast<uint8_t>(level));
  }
  return samples;
}

}  // namespace

uint32_t ClickFrames(const ClickShape& shape) {
  return static_cast<uint32_t>(ClickSamples(shape).size());
}

std::vector<uint64_t> EvenClickPositions(uint64_t frames, uint32_t count, const ClickShape& shape) {
  std::vector<uint64_t> positions;
  if (count == 0) return positions;
  // Each click gets an equal slot and starts in the middle of it, so the first and the last
  // few frames of the recording stay silent.
  const uint64_t slot = frames / count;
  if (slot < 2 * uint64_t{ClickFrames(shape)}) return positions;
  for (uint32_t i = 0; i < count; ++i) positions.push_back(i * slot + slot / 2);
  return positions;
}

std::vector<uint8_t> RenderClicks(uint64_t frames, const std::vector<uint64_t>& positions,
                                  const ClickShape& shape) {
  std::vector<uint8_t> samples(frames, kSilence);
  const std::vector<uint8_t> click = ClickSamples(shape);
  for (uint64_t start : positions) {
    for (size_t i = 0; i < click.size() && start + i < frames; ++i) samples[start + i] = click[i];
  }
  return samples;
}

std::vector<uint8_t> Interleave(const std::vector<uint8_t>& first,
                                const std::vector<uint8_t>& second) {
  const size_t frames = std::min(first.size(), second.size());
  std::vector<uint8_t> out;
  out.reserve(2 * frames);
  for (size_t i = 0; i < frames; ++i) {
    out.push_back(first[i]);
    out.push_back(second[i]);
  }
  return out;
}

std::vector<uint8_t> CanonicalWav(const std::vector<uint8_t>& samples, uint32_t sample_rate,
                                  uint16_t channels) {
  const auto data_bytes = static_cast<uint32_t>(samples.size());
  std::vector<uint8_t> out;
  out.reserve(44 + samples.size());
  PutTag(out, "RIFF");
  Put32(out, 36 + data_bytes);
  PutTag(out, "WAVE");
  PutTag(out, "fmt ");
  Put32(out, 16);
  Put16(out, 1);  // PCM
  Put16(out, channels);
  Put32(out, sample_rate);
  Put32(out, sample_rate * channels);  // bytes per second
  Put16(out, channels);                // block alignment: one byte per channel
  Put16(out, 8);
  PutTag(out, "data");
  Put32(out, data_bytes);
  out.insert(out.end(), samples.begin(), samples.end());
  return out;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  file.close();
  return static_cast<bool>(file);
}
