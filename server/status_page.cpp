// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "server/status_page.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "core/text_format.h"

namespace {

// "%4d" of every count below 10000, four bytes each: most counts of a run are short, and the
// list of the largest history must be formatted in a few milliseconds.
constexpr std::array<char, 4 * 10000> MakeShortCounts() {
  std::array<char, 4 * 10000> table{};
  for (int value = 0; value < 10000; ++value) {
    char* cell = table.data() + 4 * value;
    int rest = value;
    for (int column = 3; column >= 0; --column) {
      if (column == 3 || rest != 0) {
        cell[column] = static_cast<char>('0' + rest % 10);
        rest /= 10;
      } else {
        cell[column] = ' ';
      }
    }
  }
  return table;
}

constexpr std::array<char, 4 * 10000> kShortCounts = MakeShortCounts();

// "00" to "99": longer counts are written two digits at a time.
constexpr std::array<char, 200> MakeDigitPairs() {
  std::array<char, 200> pairs{};
  for (int value = 0; value < 100; ++value) {
    pairs[2 * value] = static_cast<char>('0' + value / 10);
    pairs[2 * value + 1] = static_cast<char>('0' + value % 10);
  }
  return pairs;
}

constexpr std::array<char, 200> kDigitPairs = MakeDigitPairs();

// The longest "%4d, " of a 32-bit count: "-2147483648, ".
constexpr size_t kLongestCount = 13;

// Writes one list entry as "%4d, " writes it and returns the end. Like %d, the entry is shown
// as a signed 32-bit number.
char* AppendCount(char* out, uint32_t counts) {
  if (counts < 10000) {
    std::memcpy(out, kShortCounts.data() + 4 * counts, 4);
    out += 4;
  } else {
    const bool negative = static_cast<int32_t>(counts) < 0;
    uint32_t magnitude = negative ? 0u - counts : counts;
    size_t digits = 5;  // at least 10000 here, or a negative number of at least one digit
    for (uint32_t bound = 100000; digits < 10 && magnitude >= bound; bound *= 10) ++digits;
    if (magnitude < 10000)
      digits = magnitude < 10 ? 1 : magnitude < 100 ? 2 : magnitude < 1000 ? 3 : 4;
    const size_t width = digits + (negative ? 1 : 0);
    for (size_t pad = width; pad < 4; ++pad) *out++ = ' ';
    if (negative) *out++ = '-';
    // Written from the last digit back, two at a time.
    char* last = out + digits;
    while (magnitude >= 100) {
      last -= 2;
      std::memcpy(last, kDigitPairs.data() + 2 * (magnitude % 100), 2);
      magnitude /= 100;
    }
    if (magnitude >= 10) {
      std::memcpy(last - 2, kDigitPairs.data() + 2 * magnitude, 2);
    } else {
      *(last - 1) = static_cast<char>('0' + magnitude);
    }
    out += digits;
  }
  *out++ = ',';
  *out++ = ' ';
  return out;
}

void AppendCountList(std::string& text, std::span<const uint32_t> counts,
                     std::string_view separator) {
  if (counts.empty()) return;
  const size_t start = text.size();
  const size_t groups = (counts.size() + 9) / 10;
  text.resize(start + counts.size() * kLongestCount + groups * separator.size());
  char* out = text.data() + start;
  for (size_t i = 0; i < counts.size(); ++i) {
    if (i % 10 == 0) {
      std::memcpy(out, separator.data(), separator.size());
      out += separator.size();
    }
    out = AppendCount(out, counts[i]);
  }
  text.resize(static_cast<size_t>(out - text.data()));
}

}  // namespace

void TakeStatusSnapshot(CounterState& state, StatusSnapshot& snapshot) {
  snapshot.banner = state.banner;
  snapshot.jpg_file_name = state.jpg_file_name;
  std::lock_guard lock(state.shared_mutex);
  snapshot.current_cpm = state.current_cpm;
  snapshot.iteration = state.iteration;
  snapshot.repeat = state.repeat;
  snapshot.sampletime = state.sampletime;
  state.average_counts = MeanCounts(state.history, state.iteration);
  snapshot.average_counts = state.average_counts;
  std::span<const uint32_t> entries = state.history.First(state.iteration);
  snapshot.history.assign(entries.begin(), entries.end());
}

void StatusBody(std::string& text, const StatusSnapshot& snapshot, std::string_view separator) {
  const std::string s(separator);
  const char* sep = s.c_str();
  text += snapshot.banner;
  text += StringPrintf("%sCurrent Time: %s%s----------------%s", sep, snapshot.time_stamp.c_str(),
                       sep, sep);
  text += StringPrintf("Current CPM=%.0f%s", snapshot.current_cpm, sep);
  // Counts per period to counts per minute, in the unsigned 32-bit arithmetic of the counts.
  const uint32_t average_cpm = snapshot.average_counts * 60u / DivisorSeconds(snapshot.sampletime);
  text += StringPrintf("Ave=%d CPM %s", static_cast<int>(average_cpm), sep);
  if (snapshot.repeat == FOREVER_REPEAT) {
    text += StringPrintf("Sampling forever.%s", sep);
  } else {
    text += StringPrintf("Current iteration=%d of %d%s", static_cast<int>(snapshot.iteration),
                         static_cast<int>(snapshot.repeat), sep);
  }
  text += StringPrintf("Sample time=%d secs%s", static_cast<int>(snapshot.sampletime), sep);
  text += StringPrintf(
      "<img SRC=\"%s\" alt=\"You must enable Blipcount's Graphing option to see an activity "
      "graph here.\" > %s",
      snapshot.jpg_file_name.c_str(), sep);
  text += s;
  AppendCountList(text, snapshot.history, separator);
}

size_t BuildStatusPage(std::string& page, const StatusSnapshot& snapshot) {
  page.clear();
  page += kPageHeader;
  page += "<html> \n";
  // The browser reloads the page once per period; a run cancelled before its first period
  // (repeat 0) has nothing more to show.
  if (snapshot.repeat != 0) {
    page += StringPrintf("<META HTTP-EQUIV=\"REFRESH\" CONTENT=\"%d\" >  \n",
                         static_cast<int>(snapshot.sampletime));
  }
  StatusBody(page, snapshot, "<br>\n");
  page += "\n</html>\n";
  return page.size();
}

size_t BuildImageResponse(std::span<char> buffer, const std::string& jpg_file_name) {
  // One byte stays free after the picture, as the picture always had.
  if (buffer.size() < kImageHeader.size() + 1) return 0;
  const int fd = ::open(jpg_file_name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  std::memcpy(buffer.data(), kImageHeader.data(), kImageHeader.size());
  char* picture = buffer.data() + kImageHeader.size();
  const size_t room = buffer.size() - kImageHeader.size() - 1;
  size_t length = 0;
  bool failed = false;
  while (length < room) {
    const ssize_t got = ::read(fd, picture + length, room - length);
    if (got > 0) {
      length += static_cast<size_t>(got);
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      failed = true;  // for instance a folder of that name: there is no picture to send
      break;
    }
  }
  ::close(fd);  // opened for reading only: nothing is lost if closing fails
  if (failed) return 0;
  return kImageHeader.size() + length;
}
