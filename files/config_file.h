// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/config.h"

// How reading blipcount.conf went.
struct ConfigReadResult {
  enum class Status {
    kRead,        // the file was read (it may still have had bad lines)
    kMissing,     // no such file: the defaults apply, nothing to report
    kUnreadable,  // it exists but cannot be read: the defaults apply
  };
  Status status = Status::kMissing;
  // One log line per problem: an unreadable file, or a line with an unknown key or a bad value
  // (that line is ignored; the rest of the file applies).
  std::vector<std::string> problems;
};

// Applies the `key = value` lines of `text` to `config`. Blank lines and lines starting with
// '#' or ';' are comments. `file_name` names the file in the problem lines.
ConfigReadResult ParseConfig(std::string_view text, Config& config,
                             std::string_view file_name = kConfigFileName);

// Reads the file at `path` into `config`; a missing file leaves the defaults.
ConfigReadResult ReadConfig(const std::string& path, Config& config);

// The keys, for the documentation and the tests: each key's name and what it takes.
struct ConfigKeyInfo {
  std::string key;
  std::string takes;  // "yes or no", "a whole number from 1 to 65535", "text", ...
};
std::vector<ConfigKeyInfo> ConfigKeys();
