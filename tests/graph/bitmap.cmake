# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# The bitmap writer and the JPEG encoder start, the latter with Debian's cjpeg and djpeg.
add_executable(bitmap_test
  ${CMAKE_CURRENT_LIST_DIR}/bitmap_export_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bitmap_file_test.cpp
)
target_link_libraries(bitmap_test PRIVATE blipcount_bitmap blipcount_test_support)
gtest_discover_tests(bitmap_test DISCOVERY_TIMEOUT 60)
