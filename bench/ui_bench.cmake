# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# The log list with a million lines, against the plain vector of strings it stands beside.
if(BLIPCOUNT_GUI)
  add_executable(ui_bench ${CMAKE_CURRENT_LIST_DIR}/ui_bench.cpp)
  target_link_libraries(ui_bench PRIVATE blipcount_ui benchmark::benchmark)
endif()
