# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# The graph layout (plain C++) and the graph window (Qt, offscreen).
add_executable(graph_layout_test ${CMAKE_CURRENT_LIST_DIR}/graph_layout_test.cpp)
target_link_libraries(graph_layout_test PRIVATE blipcount_graph_layout blipcount_test_support)
gtest_discover_tests(graph_layout_test DISCOVERY_TIMEOUT 60)

if(BLIPCOUNT_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
  add_executable(graph_dialog_test ${CMAKE_CURRENT_LIST_DIR}/graph_dialog_test.cpp)
  set_target_properties(graph_dialog_test PROPERTIES AUTOMOC ON)
  target_link_libraries(graph_dialog_test PRIVATE blipcount_graph_window Qt6::Test GTest::gtest)
  target_compile_definitions(graph_dialog_test PRIVATE QT_NO_CAST_FROM_ASCII QT_NO_FOREACH)
  gtest_discover_tests(graph_dialog_test DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()

# The window as shown, saved to a PNG (docs/graph-window.png comes from it, run under Xvfb).
if(BLIPCOUNT_GUI)
  add_executable(graph_screenshot_test ${CMAKE_CURRENT_LIST_DIR}/graph_screenshot_test.cpp)
  target_link_libraries(graph_screenshot_test PRIVATE blipcount_graph_window Qt6::Test)
  target_compile_definitions(graph_screenshot_test PRIVATE QT_NO_CAST_FROM_ASCII QT_NO_FOREACH)
  add_test(NAME GraphScreenshot
    COMMAND graph_screenshot_test ${CMAKE_CURRENT_BINARY_DIR}/graph-window.png)
  set_tests_properties(GraphScreenshot PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
