// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/log_text.h"

#include <algorithm>
#include <cstring>

namespace {

// A line's end within its block, stored from the block's back; a block of kBlockBytes has no
// end beyond 65535, as at least one end is stored in it.
using StoredEnd = uint16_t;

}  // namespace

void LogText::SetEnd(Block& block, size_t index, size_t end) {
  const auto stored = static_cast<StoredEnd>(end);
  std::memcpy(block.bytes.get() + block.capacity - (index + 1) * sizeof(StoredEnd), &stored,
              sizeof(StoredEnd));
}

size_t LogText::End(const Block& block, size_t index) {
  StoredEnd stored = 0;
  std::memcpy(&stored, block.bytes.get() + block.capacity - (index + 1) * sizeof(StoredEnd),
              sizeof(StoredEnd));
  return stored;
}

void LogText::Append(std::string_view line) {
  const bool fits =
      !blocks_.empty() && !blocks_.back().solo &&
      blocks_.back().used + line.size() + (blocks_.back().lines + 1) * sizeof(StoredEnd) <=
          blocks_.back().capacity;
  if (!fits) {
    Block& block = blocks_.emplace_back();
    block.solo = line.size() + sizeof(StoredEnd) > kBlockBytes;
    block.capacity = block.solo ? line.size() : kBlockBytes;
    // Not zeroed: only what is written is read, and untouched pages cost nothing.
    block.bytes = std::make_unique_for_overwrite<char[]>(block.capacity);
    block.first_row = lines_;
  }
  Block& block = blocks_.back();
  std::memcpy(block.bytes.get() + block.used, line.data(), line.size());
  block.used += line.size();
  if (!block.solo) SetEnd(block, block.lines, block.used);
  ++block.lines;
  ++lines_;
}

void LogText::Clear() {
  std::deque<Block>().swap(blocks_);
  lines_ = 0;
}

std::string_view LogText::Line(size_t row) const {
  if (row >= lines_) return {};
  // The newest lines are the ones shown most; otherwise the block that starts last at or before
  // the row.
  auto block = blocks_.end() - 1;
  if (row < block->first_row) {
    block = std::upper_bound(blocks_.begin(), blocks_.end(), row,
                             [](size_t r, const Block& b) { return r < b.first_row; }) -
            1;
  }
  const char* text = block->bytes.get();
  if (block->solo) return {text, block->used};
  const size_t index = row - block->first_row;
  const size_t begin = index == 0 ? 0 : End(*block, index - 1);
  return {text + begin, End(*block, index) - begin};
}
