# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# One drawing pass of the graph window: the layout alone, and the layout with the painting into
# the off-screen picture, for a million entries and for ten.
if(BLIPCOUNT_GUI AND TARGET blipcount_graph_window)
  add_executable(graph_bench ${CMAKE_CURRENT_LIST_DIR}/graph_bench.cpp)
  target_link_libraries(graph_bench PRIVATE blipcount_graph_window benchmark::benchmark)
endif()
