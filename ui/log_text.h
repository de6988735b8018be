// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string_view>

// The text of the log's lines, kept in blocks of a fixed size that are never moved or grown: a
// line is written once, into the last block or a new one, so adding a line costs the same with
// ten lines or ten million and never copies what is already there. Each block holds its lines'
// text from the front and their ends (two bytes a line) from the back, so a line costs its text
// and two bytes. A line too long for a block gets a block of its own size.
class LogText {
 public:
  static constexpr size_t kBlockBytes = 64 * 1024;

  void Append(std::string_view line);
  void Clear();
  size_t size() const { return lines_; }
  // The text of line `row` (below size()); valid until the log is cleared.
  std::string_view Line(size_t row) const;

 private:
  struct Block {
    std::unique_ptr<char[]> bytes;
    size_t capacity = 0;
    size_t used = 0;   // text bytes from the front
    size_t lines = 0;  // their ends, from the back
    size_t first_row = 0;
    bool solo = false;  // one line, the whole block, with no ends kept
  };

  static void SetEnd(Block& block, size_t index, size_t end);
  static size_t End(const Block& block, size_t index);

  std::deque<Block> blocks_;
  size_t lines_ = 0;
};
