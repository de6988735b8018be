// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// ParseConfig over any text: no crash, no sanitizer report, every value it stores lies in its
// key's range, at most one problem line per line of the file, and a file made of the values it
// stored reads back as the same settings with no problems.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/limits.h"
#include "core/text_format.h"
#include "files/config_file.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool SameConfig(const Config& a, const Config& b) {
  return a.record == b.record && a.database == b.database && a.webserver == b.webserver &&
         a.mqtt == b.mqtt && a.mqtt_host == b.mqtt_host && a.mqtt_port == b.mqtt_port &&
         a.mqtt_user == b.mqtt_user && a.mqtt_password == b.mqtt_password &&
         a.mqtt_topic == b.mqtt_topic && a.dead_time_us == b.dead_time_us &&
         a.alarm_usvh == b.alarm_usvh && a.alarm_periods == b.alarm_periods &&
         a.alarm_sound == b.alarm_sound;
}

// A text value as a file line can carry it: one line, in quotes when it has outer blanks.
bool Writable(const std::string& text) {
  return text.find_first_of("\r\n") == std::string::npos;
}

std::string Line(const char* key, const std::string& value) {
  return std::string(key) + " = \"" + value + "\"\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Config config;
  const ConfigReadResult result = ParseConfig(text, config);
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  Check(result.problems.size() <= lines + 1);

  Check(kMqttPortRange.Contains(config.mqtt_port));
  Check(kDeadTimeUsRange.Contains(config.dead_time_us));
  Check(std::isfinite(config.alarm_usvh) && kAlarmUsvhRange.Contains(config.alarm_usvh));
  Check(kAlarmPeriodsRange.Contains(config.alarm_periods));
  Check(!config.database.empty() && !config.mqtt_host.empty());

  // Written back as a file, the settings read the same.
  const char* yes_no[] = {"no", "yes"};
  std::string file;
  file += StringPrintf("record = %s\n", yes_no[config.record]);
  file += StringPrintf("webserver = %s\n", yes_no[config.webserver]);
  file += StringPrintf("mqtt = %s\n", yes_no[config.mqtt]);
  file += StringPrintf("alarm_sound = %s\n", yes_no[config.alarm_sound]);
  file += StringPrintf("mqtt_port = %u\n", config.mqtt_port);
  file += StringPrintf("dead_time_us = %u\n", config.dead_time_us);
  file += StringPrintf("alarm_periods = %u\n", config.alarm_periods);
  file += StringPrintf("alarm_usvh = %.17g\n", config.alarm_usvh);
  bool texts_writable = true;
  for (const auto& [key, value] :
       {std::pair{"database", &config.database}, std::pair{"mqtt_host", &config.mqtt_host},
        std::pair{"mqtt_user", &config.mqtt_user},
        std::pair{"mqtt_password", &config.mqtt_password},
        std::pair{"mqtt_topic", &config.mqtt_topic}}) {
    texts_writable = texts_writable && Writable(*value);
    file += Line(key, *value);
  }
  if (!texts_writable) return 0;
  Config again;
  const ConfigReadResult reread = ParseConfig(file, again);
  Check(reread.problems.empty());
  Check(SameConfig(again, config));
  return 0;
}
