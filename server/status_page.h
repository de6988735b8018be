// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/counter_state.h"

// What the status page shows, copied out of CounterState so that the page is formatted without
// holding its mutex. The server keeps one snapshot and reuses its storage for every request.
struct StatusSnapshot {
  std::string banner;
  std::string jpg_file_name;
  std::string time_stamp;  // TimeStamp(): 24 characters and a newline
  double current_cpm = 0.0;
  uint32_t iteration = 0;
  uint32_t repeat = 0;
  uint32_t sampletime = 0;
  uint32_t average_counts = 0;
  std::vector<uint32_t> history;  // the first `iteration` entries that exist, oldest first
};

// Fills `snapshot` from `state` under `state.shared_mutex`, and stores the mean of the first
// `iteration` entries in `average_counts` as the page's average. `time_stamp` is left to the
// caller. Any thread; the banner and picture name are constants and read without the mutex.
void TakeStatusSnapshot(CounterState& state, StatusSnapshot& snapshot);

// Appends the status block to `text`; `separator` goes wherever the block breaks a line.
void StatusBody(std::string& text, const StatusSnapshot& snapshot, std::string_view separator);

// Replaces `page` with the whole status page response (header, html, status block). The string
// grows as the history needs, so the whole list is always there; its capacity is kept between
// calls. Returns the number of bytes to send.
size_t BuildStatusPage(std::string& page, const StatusSnapshot& snapshot);

// The picture response: the 45-byte header, then the bytes of `jpg_file_name` read anew, at most
// buffer.size() - 46 of them. Returns the number of bytes to send (header and picture, nothing
// after them), or 0 when the file cannot be opened or the buffer cannot hold the header.
size_t BuildImageResponse(std::span<char> buffer, const std::string& jpg_file_name);

inline constexpr std::string_view kPageHeader =
    "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";
inline constexpr std::string_view kImageHeader =
    "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n\r\n";
