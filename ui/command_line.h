// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <optional>
#include <string>
#include <vector>

// What the program was asked to do by its arguments.
struct CommandLine {
  enum class Action { kRun, kHelp, kVersion, kError };
  Action action = Action::kRun;
  // Set: the line input is the simulated meter at this mean rate.
  std::optional<double> demo_cpm;
  // Arguments that do not begin with "--", for the toolkit to take its own options from
  // ("-platform offscreen"); whatever it leaves is an error.
  std::vector<std::string> toolkit_args;
  // With kError: what was wrong, one line.
  std::string error;
};

// Reads the arguments after the program's name. The options are "--demo", "--demo=CPM",
// "--help" and "--version"; anything else beginning with "--" is an error.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The usage line, and the whole help text (which begins with it).
std::string UsageLine();
std::string HelpText();
std::string VersionText();
