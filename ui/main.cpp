// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include <QApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/period_events.h"
#include "input/simulated_meter.h"
#include "record/export_command.h"
#include "ui/app.h"
#include "ui/command_line.h"
#include "ui/main_window.h"
#include "ui/scripted_desktop.h"
#include "ui/startup_clock.h"

namespace {

int signal_pipe[2] = {-1, -1};

void OnTerminate(int) {
  const char byte = 1;
  // Nothing to do when the pipe is full: a close request is already on its way.
  [[maybe_unused]] ssize_t written = write(signal_pipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the program, whatever dialog is open; the settings are still written.
void CloseOnTerminate(CBlipcountDlg& window) {
  if (pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, &window);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
    char byte;
    while (read(signal_pipe[0], &byte, 1) > 0) {
    }
    window.EndOnSignal();
  });
  struct sigaction action {};
  action.sa_handler = OnTerminate;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

bool EnvironmentSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// Without a display Qt would end the program with an abort and a message about its plugins.
bool HasDisplay() {
  return EnvironmentSet("DISPLAY") || EnvironmentSet("WAYLAND_DISPLAY") ||
         EnvironmentSet("QT_QPA_PLATFORM");
}

bool EnvironmentFlag(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && std::string(value) == "1";
}

}  // namespace

// The options are --demo[=CPM], --help and --version (ui/command_line.h); Qt's own options,
// with one dash, are passed on to it. `blipcount export ...` is a command of its own that writes
// the record to standard output without a display (record/export_command.h). Three environment
// variables exist only for watching it from outside in tests and measurements:
//   BLIPCOUNT_LOG_TO_STDERR=1          every log line also goes to standard error, after "log| ";
//   BLIPCOUNT_QUIT_AFTER_FIRST_PAINT=1 prints the start-up time at the first paint and ends;
//   BLIPCOUNT_TEST_DATA_FILE=PATH      after "Done counting." the Options dialog runs by itself:
//                                      Save As to PATH, Start Server on the set port, Done.
int main(int argc, char** argv) {
  // Before anything of Qt: the export needs no display.
  if (argc >= 2 && std::string_view(argv[1]) == "export") {
    return RunExportCommand(argc - 2, argv + 2, STDOUT_FILENO, stderr, UtcNowMs());
  }
  StartupClock::MarkMainEntry();
  // Answered before Qt starts, so that they need no display.
  const CommandLine command = ParseCommandLine({argv + 1, argv + argc});
  if (command.action == CommandLine::Action::kHelp) {
    std::fputs(HelpText().c_str(), stdout);
    return 0;
  }
  if (command.action == CommandLine::Action::kVersion) {
    std::puts(VersionText().c_str());
    return 0;
  }
  if (command.action == CommandLine::Action::kError) {
    std::fprintf(stderr, "blipcount: %s\n%s\n", command.error.c_str(), UsageLine().c_str());
    return 2;
  }
  std::vector<std::string> toolkit_args = command.toolkit_args;
  std::vector<char*> toolkit_argv = {argv[0]};
  for (std::string& arg : toolkit_args) toolkit_argv.push_back(arg.data());
  toolkit_argv.push_back(nullptr);
  int toolkit_argc = static_cast<int>(toolkit_argv.size()) - 1;
  const bool platform_given =
      std::find(toolkit_args.begin(), toolkit_args.end(), "-platform") != toolkit_args.end();
  if (!HasDisplay() && !platform_given) {
    std::fprintf(stderr,
                 "blipcount: no display to show the window on (neither DISPLAY nor "
                 "WAYLAND_DISPLAY is set); blipcount --headless runs without one.\n");
    return 1;
  }
  QApplication application(toolkit_argc, toolkit_argv.data());
  if (toolkit_argc > 1) {
    std::fprintf(stderr, "blipcount: unknown argument %s\n%s\n", toolkit_argv[1],
                 UsageLine().c_str());
    return 2;
  }

  const bool log_to_stderr = EnvironmentFlag("BLIPCOUNT_LOG_TO_STDERR");
  const bool quit_after_paint = EnvironmentFlag("BLIPCOUNT_QUIT_AFTER_FIRST_PAINT");
  const char* data_file = std::getenv("BLIPCOUNT_TEST_DATA_FILE");
  std::unique_ptr<ScriptedDesktop> scripted;
  AppOptions options;
  if (command.demo_cpm) {
    const MeterSettings meter{*command.demo_cpm, MeterSettings{}.coincident_fraction,
                              std::random_device{}()};
    options.make_device = [meter] { return std::make_unique<SimulatedMeter>(meter); };
  }
  if (data_file != nullptr) {
    scripted = std::make_unique<ScriptedDesktop>(data_file);
    options.desktop = scripted.get();
  }
  options.on_created = [&](CBlipcountDlg& window) {
    CloseOnTerminate(window);
    if (quit_after_paint) StartupClock::QuitAfterFirstPaint(window);
    const bool script = scripted != nullptr;
    if (!log_to_stderr && !script) return;
    window.SetLogObserver([&window, log_to_stderr, script](const std::string& line) {
      if (log_to_stderr) {
        std::fprintf(stderr, "log| %s\n", line.c_str());
        std::fflush(stderr);
      }
      if (script && line == "Done counting.") {
        QMetaObject::invokeMethod(
            &window, [&window] { window.OnOptions(); }, Qt::QueuedConnection);
      }
    });
  };
  CBlipcountApp app(std::move(options));
  return app.InitInstance();
}
