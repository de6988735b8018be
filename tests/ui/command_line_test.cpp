// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "input/simulated_meter.h"

namespace {

using Action = CommandLine::Action;

TEST(CommandLine, Arguments) {
  struct Case {
    std::vector<std::string> args;
    Action action;
    std::optional<double> demo_cpm;
    std::vector<std::string> toolkit_args;
  };
  const Case cases[] = {
      {{}, Action::kRun, std::nullopt, {}},
      {{"--demo"}, Action::kRun, kDemoCpm, {}},
      {{"--demo=600"}, Action::kRun, 600.0, {}},
      {{"--demo=0.5"}, Action::kRun, 0.5, {}},
      {{"--demo=0"}, Action::kRun, 0.0, {}},
      {{"--demo=1000000"}, Action::kRun, 1e6, {}},
      {{"-platform", "offscreen", "--demo"}, Action::kRun, kDemoCpm, {"-platform", "offscreen"}},
      {{"--demo=60", "--help"}, Action::kHelp, 60.0, {}},
      {{"--version", "--bogus"}, Action::kVersion, std::nullopt, {}},
      {{"--bogus"}, Action::kError, std::nullopt, {}},
      {{"--demo="}, Action::kError, std::nullopt, {}},
      {{"--demo=fast"}, Action::kError, std::nullopt, {}},
      {{"--demo=-5"}, Action::kError, std::nullopt, {}},
      {{"--demo=1e3"}, Action::kError, std::nullopt, {}},
      {{"--demo=1000001"}, Action::kError, std::nullopt, {}},
      {{"--demo=1..2"}, Action::kError, std::nullopt, {}},
      {{"--demo", "60"}, Action::kRun, kDemoCpm, {"60"}},  // left for Qt, which refuses it
  };
  for (const Case& c : cases) {
    std::string name;
    for (const std::string& arg : c.args) name += arg + " ";
    SCOPED_TRACE(name);
    const CommandLine command = ParseCommandLine(c.args);
    EXPECT_EQ(command.action, c.action);
    if (c.action == Action::kRun) {
      EXPECT_EQ(command.demo_cpm, c.demo_cpm);
      EXPECT_EQ(command.toolkit_args, c.toolkit_args);
    }
    EXPECT_EQ(command.error.empty(), c.action != Action::kError) << command.error;
  }
  EXPECT_EQ(ParseCommandLine({"--bogus"}).error, "unknown option --bogus");
  EXPECT_EQ(ParseCommandLine({"--demo=x"}).error,
            "the rate of --demo must be a number of counts per minute from 0 to 1000000");
  EXPECT_EQ(HelpText().rfind(UsageLine() + "\n", 0), 0u);
}

}  // namespace
