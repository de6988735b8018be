// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "files/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <variant>

#include "core/limits.h"
#include "core/text_format.h"

namespace {

// A configuration file is a few hundred bytes; anything past this is not one.
constexpr size_t kMaxConfigBytes = size_t{1} << 20;

struct BoolKey {
  bool Config::*member;
};
struct UnsignedKey {
  uint32_t Config::*member;
  Range<uint32_t> range;
};
struct DoubleKey {
  double Config::*member;
  Range<double> range;
};
struct TextKey {
  std::string Config::*member;
  bool may_be_empty;
};
using KeyKind = std::variant<BoolKey, UnsignedKey, DoubleKey, TextKey>;

struct KeyRow {
  const char* key;
  KeyKind kind;
};

// Every key of the file, in the order the README documents them.
const KeyRow kKeys[] = {
    {"record", BoolKey{&Config::record}},
    {"database", TextKey{&Config::database, false}},
    {"webserver", BoolKey{&Config::webserver}},
    {"mqtt", BoolKey{&Config::mqtt}},
    {"mqtt_host", TextKey{&Config::mqtt_host, false}},
    {"mqtt_port", UnsignedKey{&Config::mqtt_port, kMqttPortRange}},
    {"mqtt_user", TextKey{&Config::mqtt_user, true}},
    {"mqtt_password", TextKey{&Config::mqtt_password, true}},
    {"mqtt_topic", TextKey{&Config::mqtt_topic, true}},
    {"dead_time_us", UnsignedKey{&Config::dead_time_us, kDeadTimeUsRange}},
    {"alarm_usvh", DoubleKey{&Config::alarm_usvh, kAlarmUsvhRange}},
    {"alarm_periods", UnsignedKey{&Config::alarm_periods, kAlarmPeriodsRange}},
    {"alarm_sound", BoolKey{&Config::alarm_sound}},
};

std::string_view Trim(std::string_view text) {
  const char* blanks = " \t\r\f\v";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

bool EqualsIgnoringCase(std::string_view a, const char* b) {
  const size_t length = std::strlen(b);
  if (a.size() != length) return false;
  for (size_t i = 0; i < length; ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != b[i]) return false;
  }
  return true;
}

std::optional<bool> ParseBool(std::string_view value) {
  for (const char* yes : {"yes", "true", "on", "1"}) {
    if (EqualsIgnoringCase(value, yes)) return true;
  }
  for (const char* no : {"no", "false", "off", "0"}) {
    if (EqualsIgnoringCase(value, no)) return false;
  }
  return std::nullopt;
}

std::optional<uint32_t> ParseUnsigned(std::string_view value, Range<uint32_t> range) {
  uint32_t number = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (value.empty() || error != std::errc() || end != value.data() + value.size()) {
    return std::nullopt;
  }
  if (!range.Contains(number)) return std::nullopt;
  return number;
}

std::optional<double> ParseDouble(std::string_view value, Range<double> range) {
  double number = 0.0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (value.empty() || error != std::errc() || end != value.data() + value.size()) {
    return std::nullopt;
  }
  if (!std::isfinite(number) || !range.Contains(number)) return std::nullopt;
  return number;
}

// What a key takes, as the problem lines and the documentation say it.
std::string Takes(const KeyKind& kind) {
  struct Describe {
    std::string operator()(const BoolKey&) const { return "yes or no"; }
    std::string operator()(const UnsignedKey& key) const {
      return StringPrintf("a whole number from %u to %u", key.range.min, key.range.max);
    }
    std::string operator()(const DoubleKey& key) const {
      return StringPrintf("a number from %g to %g", key.range.min, key.range.max);
    }
    std::string operator()(const TextKey& key) const {
      return key.may_be_empty ? "text" : "a text that is not empty";
    }
  };
  return std::visit(Describe{}, kind);
}

// Stores `value` through the key's member; false when the value is not one the key takes.
bool Apply(const KeyKind& kind, std::string_view value, Config& config) {
  struct Store {
    std::string_view value;
    Config& config;
    bool operator()(const BoolKey& key) const {
      const std::optional<bool> parsed = ParseBool(value);
      if (parsed) config.*key.member = *parsed;
      return parsed.has_value();
    }
    bool operator()(const UnsignedKey& key) const {
      const std::optional<uint32_t> parsed = ParseUnsigned(value, key.range);
      if (parsed) config.*key.member = *parsed;
      return parsed.has_value();
    }
    bool operator()(const DoubleKey& key) const {
      const std::optional<double> parsed = ParseDouble(value, key.range);
      if (parsed) config.*key.member = *parsed;
      return parsed.has_value();
    }
    bool operator()(const TextKey& key) const {
      if (value.empty() && !key.may_be_empty) return false;
      config.*key.member = std::string(value);
      return true;
    }
  };
  return std::visit(Store{value, config}, kind);
}

// A value in double quotes is taken without them, so that it may begin or end with blanks.
std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

std::string Shown(std::string_view text) {
  // Problem lines quote what the file said; a very long line is cut.
  constexpr size_t kMaxShown = 60;
  std::string shown(text.substr(0, kMaxShown));
  if (text.size() > kMaxShown) shown += "...";
  return shown;
}

}  // namespace

ConfigReadResult ParseConfig(std::string_view text, Config& config, std::string_view file_name) {
  ConfigReadResult result;
  result.status = ConfigReadResult::Status::kRead;
  const std::string name(file_name);
  size_t line_number = 0;
  while (!text.empty()) {
    ++line_number;
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

    line = Trim(line);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      result.problems.push_back(
          StringPrintf("%s line %zu: \"%s\" is not a key = value line; ignored.", name.c_str(),
                       line_number, Shown(line).c_str()));
      continue;
    }
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Unquote(Trim(line.substr(equals + 1)));
    const KeyRow* row = nullptr;
    for (const KeyRow& candidate : kKeys) {
      if (key == candidate.key) row = &candidate;
    }
    if (row == nullptr) {
      result.problems.push_back(StringPrintf("%s line %zu: unknown key \"%s\"; ignored.",
                                             name.c_str(), line_number, Shown(key).c_str()));
      continue;
    }
    if (!Apply(row->kind, value, config)) {
      result.problems.push_back(StringPrintf("%s line %zu: %s takes %s, not \"%s\"; ignored.",
                                             name.c_str(), line_number, row->key,
                                             Takes(row->kind).c_str(), Shown(value).c_str()));
    }
  }
  return result;
}

ConfigReadResult ReadConfig(const std::string& path, Config& config) {
  ConfigReadResult result;
  // Non-blocking, so that a FIFO put in the file's place cannot stop the program.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return result;
    result.status = ConfigReadResult::Status::kUnreadable;
    result.problems.push_back(StringPrintf("Cannot read %s (%s): its settings keep their defaults.",
                                           path.c_str(), std::strerror(errno)));
    return result;
  }
  std::string text;
  struct stat info {};
  const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  int read_error = regular ? 0 : EINVAL;
  if (regular && static_cast<uint64_t>(info.st_size) > kMaxConfigBytes) read_error = EFBIG;
  char buffer[4096];
  while (read_error == 0) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) read_error = errno;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
    if (text.size() > kMaxConfigBytes) read_error = EFBIG;
  }
  close(fd);
  if (read_error != 0) {
    result.status = ConfigReadResult::Status::kUnreadable;
    const char* why = read_error == EINVAL ? "not a regular file" : std::strerror(read_error);
    result.problems.push_back(
        StringPrintf("Cannot read %s (%s): its settings keep their defaults.", path.c_str(), why));
    return result;
  }
  return ParseConfig(text, config, path);
}

std::vector<ConfigKeyInfo> ConfigKeys() {
  std::vector<ConfigKeyInfo> keys;
  for (const KeyRow& row : kKeys) keys.push_back({row.key, Takes(row.kind)});
  return keys;
}
