# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# The graph layout (plain C++) and the graph window (Qt).
add_library(blipcount_graph_layout STATIC ${CMAKE_CURRENT_SOURCE_DIR}/graph_layout.cpp)
target_include_directories(blipcount_graph_layout PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(blipcount_graph_layout PUBLIC blipcount_core)

if(BLIPCOUNT_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  add_library(blipcount_graph_window STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/graph_dialog.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/graph_dialog.h
  )
  set_target_properties(blipcount_graph_window PROPERTIES AUTOMOC ON)
  target_link_libraries(blipcount_graph_window PUBLIC Qt6::Widgets blipcount_graph_layout blipcount_bitmap)
  # QT_NO_KEYWORDS: the state record has a forever() of its own, which Qt's keyword macro would
  # rewrite in every file that sees both.
  target_compile_definitions(blipcount_graph_window PUBLIC QT_NO_KEYWORDS
    PRIVATE QT_NO_CAST_FROM_ASCII QT_NO_FOREACH)
endif()
