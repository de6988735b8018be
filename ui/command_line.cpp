// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "core/limits.h"
#include "core/text_format.h"
#include "input/simulated_meter.h"

namespace {

constexpr char kDemo[] = "--demo";

std::optional<double> ParseRate(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) {
    return std::nullopt;
  }
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(value) ||
      !kDemoCpmRange.Contains(value)) {
    return std::nullopt;
  }
  return value;
}

CommandLine Error(std::string text) {
  CommandLine command;
  command.action = CommandLine::Action::kError;
  command.error = std::move(text);
  return command;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine command;
  for (const std::string& arg : args) {
    if (arg == "--help") {
      command.action = CommandLine::Action::kHelp;
      return command;
    }
    if (arg == "--version") {
      command.action = CommandLine::Action::kVersion;
      return command;
    }
    if (arg == kDemo) {
      command.demo_cpm = kDemoCpm;
    } else if (arg.starts_with(std::string(kDemo) + "=")) {
      const std::optional<double> cpm = ParseRate(arg.substr(sizeof kDemo));
      if (!cpm) {
        return Error(
            StringPrintf("the rate of %s must be a number of counts per minute from %.0f to %.0f",
                         kDemo, kDemoCpmRange.min, kDemoCpmRange.max));
      }
      command.demo_cpm = cpm;
    } else if (arg.starts_with("--")) {
      return Error("unknown option " + arg);
    } else {
      command.toolkit_args.push_back(arg);
    }
  }
  return command;
}

std::string UsageLine() { return "Usage: blipcount [--demo[=CPM]] [--help] [--version]"; }

std::string HelpText() {
  return UsageLine() + "\n" +
         "A pulse logger for radiation survey meters on the audio line input.\n" +
         StringPrintf("  --demo      the line input is a simulated meter at %g counts per minute\n",
                      kDemoCpm) +
         "  --demo=CPM  the same at CPM counts per minute\n"
         "  --help      print this text and end\n"
         "  --version   print the version and end\n";
}

std::string VersionText() { return "blipcount " BLIPCOUNT_VERSION; }
