# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# Live capture: the controller (pure, tested against a fake device), the simulated meter and the
# PortAudio device.
add_library(blipcount_capture STATIC
  ${CMAKE_CURRENT_LIST_DIR}/capture_controller.cpp
  ${CMAKE_CURRENT_LIST_DIR}/simulated_meter.cpp
)
target_link_libraries(blipcount_capture PUBLIC blipcount_core)

find_package(PkgConfig REQUIRED)
pkg_check_modules(PORTAUDIO REQUIRED IMPORTED_TARGET portaudio-2.0)
# ALSA directly too: its configuration is checked for a default device before PortAudio probes it.
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)

# The line input and the alarm's tones on the output.
add_library(blipcount_portaudio STATIC
  ${CMAKE_CURRENT_LIST_DIR}/alarm_tone.cpp
  ${CMAKE_CURRENT_LIST_DIR}/portaudio_input.cpp
)
target_link_libraries(blipcount_portaudio PUBLIC blipcount_core PkgConfig::PORTAUDIO
  PkgConfig::ALSA Threads::Threads)
