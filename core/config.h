// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <string>

// The settings of blipcount.conf: the features that the 11-line blipcount.ini has no place for.
// The program only reads this file; its owner edits it. Each member is a key of the same name;
// files/config_file.cpp lists them with their ranges.
struct Config {
  // The record of every period (SQLite).
  bool record = true;
  std::string database = "blipcount.db";

  // The status server, started by the headless station at start-up.
  bool webserver = false;

  // MQTT publishing. An empty topic means "blipcount/<hostname>".
  bool mqtt = false;
  std::string mqtt_host = "localhost";
  uint32_t mqtt_port = 1883;
  std::string mqtt_user;
  std::string mqtt_password;
  std::string mqtt_topic;

  // Dose: the tube's dead time in microseconds (0: no correction), and the dose-rate alarm
  // (alarm_usvh 0: off).
  uint32_t dead_time_us = 0;
  double alarm_usvh = 0.0;
  uint32_t alarm_periods = 3;
  bool alarm_sound = true;
};

inline constexpr char kConfigFileName[] = "blipcount.conf";
