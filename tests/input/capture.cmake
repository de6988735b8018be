# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# The capture controller against a fake device, and the real device end to end through
# PortAudio and ALSA's file plugin.
add_library(blipcount_capture_test_support STATIC
  ${CMAKE_CURRENT_LIST_DIR}/click_signal.cpp
)
target_include_directories(blipcount_capture_test_support PUBLIC ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(blipcount_capture_test_support PUBLIC blipcount_capture blipcount_portaudio)

add_executable(capture_controller_test ${CMAKE_CURRENT_LIST_DIR}/capture_controller_test.cpp)
target_link_libraries(capture_controller_test PRIVATE blipcount_capture_test_support
  blipcount_test_support)
gtest_discover_tests(capture_controller_test DISCOVERY_TIMEOUT 60)

# The simulated meter: its clicks, its clock, and runs of the controller on it.
add_executable(simulated_meter_test ${CMAKE_CURRENT_LIST_DIR}/simulated_meter_test.cpp)
target_link_libraries(simulated_meter_test PRIVATE blipcount_capture_test_support
  blipcount_test_support)
gtest_discover_tests(simulated_meter_test DISCOVERY_TIMEOUT 60)

add_executable(capture_portaudio_test ${CMAKE_CURRENT_LIST_DIR}/capture_portaudio_test.cpp)
target_link_libraries(capture_portaudio_test PRIVATE blipcount_capture_test_support
  blipcount_test_support)
# ALSA's plugin modules leak their own blocks and are unloaded before the exit; the leak
# suppression (tests/lsan.supp) finds their frames only with full unwinding.
gtest_discover_tests(capture_portaudio_test DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120
  ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=string_append::fast_unwind_on_malloc=0")

# 600 one-second periods through the real device (scripts/measure_capture.sh times it).
add_executable(capture_soak ${CMAKE_CURRENT_LIST_DIR}/capture_soak.cpp)
target_link_libraries(capture_soak PRIVATE blipcount_capture_test_support)

# The alarm's tones, played through PortAudio into ALSA's file plugin.
add_executable(alarm_tone_test ${CMAKE_CURRENT_LIST_DIR}/alarm_tone_test.cpp)
target_link_libraries(alarm_tone_test PRIVATE blipcount_capture_test_support
  blipcount_test_support)
gtest_discover_tests(alarm_tone_test DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 60
  ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=string_append::fast_unwind_on_malloc=0")
