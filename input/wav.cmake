# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# WAV file input: the reader and the Read File command (plain C++).
add_library(blipcount_wav STATIC
  ${CMAKE_CURRENT_LIST_DIR}/wav_input.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wav_reader.cpp
)
target_include_directories(blipcount_wav PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(blipcount_wav PUBLIC blipcount_core)
