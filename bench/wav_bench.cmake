# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# Read File of a 24-hour recording, against reading the same file as cat does.
if(BLIPCOUNT_GUI)
  add_executable(wav_bench ${CMAKE_CURRENT_LIST_DIR}/wav_bench.cpp)
  target_link_libraries(wav_bench PRIVATE blipcount_ui blipcount_clickgen benchmark::benchmark)
endif()
