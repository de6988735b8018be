# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# WAV file input: the reader, the Read File command and the shipped click recording.
add_executable(wav_test
  ${CMAKE_CURRENT_LIST_DIR}/wav_count_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wav_input_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wav_reader_test.cpp
)
target_link_libraries(wav_test PRIVATE blipcount_wav blipcount_clickgen blipcount_test_support)
target_compile_definitions(wav_test PRIVATE BLIPCOUNT_SAMPLES_DIR="${PROJECT_SOURCE_DIR}/samples")
gtest_discover_tests(wav_test DISCOVERY_TIMEOUT 60)
