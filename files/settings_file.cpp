// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "files/settings_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <optional>

#include "core/limits.h"
#include "core/text_format.h"
#include "files/atomic_file.h"

namespace {

// The reader keeps at most this many characters of a key word or the title.
constexpr size_t kMaxTokenChars = 127;
// A settings file is a few hundred bytes; the reader looks no further than this.
constexpr size_t kMaxFileBytes = size_t{16} * 1024 * 1024;

// An empty or all-blank title would be written as a line with nothing visible on it, which every
// reader passes over, taking the savegraph line as the title. It is written as two double
// quotes instead: a reader without this rule shows "" as the title and stays in step, this one
// reads it back as empty. A title made only of double quotes gets one more quote on writing and
// loses it on reading, so no title is mistaken for the empty one.
constexpr char kEmptyTitle[] = "\"\"";

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool OnlyQuotes(std::string_view text) {
  return !text.empty() && text.find_first_not_of('"') == std::string_view::npos;
}

bool OnlyBlanks(std::string_view text) {
  for (char c : text) {
    if (!IsSpace(c)) return false;
  }
  return true;
}

class SettingsReader {
 public:
  explicit SettingsReader(std::string_view text) : text_(text) {}

  // The key token and the number after it. Empty when the file ended or no number stood there;
  // `consumed` tells whether a number was taken from the stream (even one refused as too large).
  struct Number {
    bool consumed = false;
    std::optional<uint32_t> bits;  // the value as 32 bits, when it fits
  };

  Number ReadInteger() {
    Number result;
    if (!SkipKey()) return result;
    size_t i = pos_;
    bool negative = false;
    if (i < text_.size() && (text_[i] == '+' || text_[i] == '-')) negative = text_[i++] == '-';
    if (i >= text_.size() || !IsDigit(text_[i])) return result;  // the token stays unread
    uint64_t magnitude = 0;
    bool too_large = false;
    for (; i < text_.size() && IsDigit(text_[i]); ++i) {
      magnitude = magnitude * 10 + static_cast<uint64_t>(text_[i] - '0');
      if (magnitude > (uint64_t{1} << 33)) {
        too_large = true;
        magnitude = uint64_t{1} << 33;
      }
    }
    pos_ = i;
    SkipSpace();
    result.consumed = true;
    // Unsigned settings of 2^31 and above are written as negative numbers, so both halves of
    // the 32-bit range read back to the same bits.
    if (too_large) return result;
    if (negative && magnitude <= (uint64_t{1} << 31)) {
      result.bits = static_cast<uint32_t>(0u - static_cast<uint32_t>(magnitude));
    } else if (!negative && magnitude <= UINT32_MAX) {
      result.bits = static_cast<uint32_t>(magnitude);
    }
    return result;
  }

  // A decimal floating-point number: sign, digits with an optional fraction, optional exponent.
  std::optional<double> ReadFloat() {
    if (!SkipKey()) return std::nullopt;
    size_t i = pos_;
    if (i < text_.size() && (text_[i] == '+' || text_[i] == '-')) ++i;
    size_t digits = 0;
    for (; i < text_.size() && IsDigit(text_[i]); ++i) ++digits;
    if (i < text_.size() && text_[i] == '.') {
      for (++i; i < text_.size() && IsDigit(text_[i]); ++i) ++digits;
    }
    if (digits == 0) return std::nullopt;  // the token stays unread
    if (i < text_.size() && (text_[i] == 'e' || text_[i] == 'E')) {
      size_t e = i + 1;
      if (e < text_.size() && (text_[e] == '+' || text_[e] == '-')) ++e;
      if (e < text_.size() && IsDigit(text_[e])) {
        while (e < text_.size() && IsDigit(text_[e])) ++e;
        i = e;
      }
    }
    std::string_view number = text_.substr(pos_, i - pos_);
    pos_ = i;
    SkipSpace();
    if (number.front() == '+') number.remove_prefix(1);  // from_chars takes no plus sign
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
    return value;
  }

  // The rest of the current line, without its line end, which stays in the stream; nothing when
  // the file has ended. `starts_line` tells whether nothing stood before it on its line.
  std::optional<std::string_view> ReadLine(bool& starts_line) {
    if (pos_ >= text_.size()) return std::nullopt;
    starts_line = pos_ == 0 || text_[pos_ - 1] == '\n';
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    std::string_view line = text_.substr(pos_, end - pos_);
    pos_ = end;
    return line;
  }

 private:
  // Skips whitespace and the key token (whose content is ignored), then the whitespace after
  // it. False when the file ends before a key token.
  bool SkipKey() {
    SkipSpace();
    if (pos_ >= text_.size()) return false;
    while (pos_ < text_.size() && !IsSpace(text_[pos_])) ++pos_;
    SkipSpace();
    return true;
  }

  void SkipSpace() {
    while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

std::string_view WithoutTrailingReturns(std::string_view text) {
  // A file written with CR LF line ends leaves a carriage return before each line feed.
  while (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  return text;
}

// The title as the line shows it. Quotes alone are the writer's marks only at the start of the
// line, where it writes them: after blanks (which the reading passes over) they are the title.
std::string DecodeTitle(std::string_view line, bool starts_line) {
  line = WithoutTrailingReturns(line);
  std::string title(line);
  if (starts_line && OnlyQuotes(title) && title.size() >= 2) {
    title.pop_back();
    if (title.size() == 1) title.clear();  // the empty title
  }
  if (title.size() > kMaxTokenChars) {
    size_t keep = kMaxTokenChars;
    // Never keep half of a UTF-8 character.
    while (keep > 0 && (static_cast<unsigned char>(title[keep]) & 0xC0) == 0x80) --keep;
    title.resize(keep);
    title = std::string(WithoutTrailingReturns(title));
  }
  return title;
}

std::string EncodeTitle(const std::string& title) {
  // The title is one line; anything after a line end would shift the lines after it.
  std::string line = title.substr(0, title.find('\n'));
  if (OnlyBlanks(line)) return kEmptyTitle;
  if (OnlyQuotes(line) && line.size() >= 2) line += '"';
  return line;
}

// Stores a setting when a value was read and passes its window's range test.
void StoreUnsigned(const SettingsReader::Number& number, uint32_t low, uint32_t high,
                   uint32_t& field) {
  if (number.bits && *number.bits >= low && *number.bits <= high) field = *number.bits;
}

std::optional<std::string> ReadWholeFile(const std::string& file_name) {
  const int fd = open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char chunk[4096];
  bool ok = true;
  while (text.size() < kMaxFileBytes) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      ok = false;  // for instance a folder of that name
      break;
    }
    if (got == 0) break;
    text.append(chunk, static_cast<size_t>(got));
  }
  close(fd);
  if (!ok) return std::nullopt;
  return text;
}

}  // namespace

void ParseSettings(CounterState& state, std::string_view text) {
  SettingsReader reader(text);
  StoreUnsigned(reader.ReadInteger(), 1, 99999, state.sampletime);
  StoreUnsigned(reader.ReadInteger(), 1, UINT32_MAX, state.repeat);
  StoreUnsigned(reader.ReadInteger(), 1, 255, state.threshold);
  if (std::optional<double> scale = reader.ReadFloat()) {
    // The range test is made on the 32-bit float, so that the window's largest value reads back
    // also from a file of an earlier version, which held it rounded up to 10000000000; it is
    // then kept as the window keeps it, within the range.
    const float value = static_cast<float>(*scale);
    if (value >= static_cast<float>(kScaleRange.min) &&
        value <= static_cast<float>(kScaleRange.max)) {
      state.scale = StoredScale(*scale);
    }
  }
  StoreUnsigned(reader.ReadInteger(), 1, 65535, state.webport);
  StoreUnsigned(reader.ReadInteger(), 0, UINT32_MAX, state.timingticksperminute);
  if (auto autostart = reader.ReadInteger(); autostart.bits) {
    state.autostart = static_cast<int32_t>(*autostart.bits);
  }
  StoreUnsigned(reader.ReadInteger(), 1, 999999, state.scrollwidth);
  bool title_starts_line = true;
  if (std::optional<std::string_view> line = reader.ReadLine(title_starts_line)) {
    state.graphtitle = DecodeTitle(*line, title_starts_line);
  }
  if (auto savegraph = reader.ReadInteger(); savegraph.bits) {
    state.savegraph = static_cast<uint8_t>(*savegraph.bits & 0xFF);
  }
  if (auto coincidence = reader.ReadInteger(); coincidence.bits) {
    state.coincidence = static_cast<int32_t>(*coincidence.bits);
  }
}

bool ReadSettings(CounterState& state, const std::string& file_name) {
  std::optional<std::string> text = ReadWholeFile(file_name);
  if (!text) return false;
  ParseSettings(state, *text);
  return true;
}

std::string FormatSettings(const CounterState& state) {
  // "%f" would follow the locale that the desktop sets, which may write a decimal comma; the
  // settings file always has a decimal point. to_chars with six decimals is "%f" in the C locale.
  char scale[64];
  const auto scale_end = std::to_chars(
      scale, scale + sizeof scale, static_cast<double>(state.scale), std::chars_format::fixed, 6);
  std::string text;
  text += StringPrintf("sampletime %d\n", static_cast<int32_t>(state.sampletime));
  text += StringPrintf("repeat %d\n", static_cast<int32_t>(state.repeat));
  text += StringPrintf("threshold %d\n", static_cast<int32_t>(state.threshold));
  text += "scale " + std::string(scale, scale_end.ptr) + "\n";
  text += StringPrintf("webport %d\n", static_cast<int32_t>(state.webport));
  text +=
      StringPrintf("timingticksperminute %d\n", static_cast<int32_t>(state.timingticksperminute));
  text += StringPrintf("autostart %d\n", state.autostart);
  text += StringPrintf("scrollwidth %d\n", static_cast<int32_t>(state.scrollwidth));
  text += EncodeTitle(state.graphtitle) + "\n";
  text += StringPrintf("savegraph %d\n", static_cast<int>(state.savegraph));
  text += StringPrintf("coincidence %d\n", state.coincidence & 0xFF);
  return text;
}

bool WriteSettings(const CounterState& state, const std::string& file_name) {
  return WriteFileAtomically(file_name, FormatSettings(state), AtomicFile::Durability::kSynced);
}
