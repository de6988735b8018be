# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# The bitmap writer and the JPEG encoder start (plain C++).
add_library(blipcount_bitmap STATIC
  ${CMAKE_CURRENT_LIST_DIR}/bitmap_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/encoder.cpp
)
target_include_directories(blipcount_bitmap PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(blipcount_bitmap PUBLIC blipcount_core PRIVATE blipcount_files Threads::Threads)
