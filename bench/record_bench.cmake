# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# The record at the scale of a year of one-second periods: its size on disk, the owner thread's
# cost of a period, a commit, and the export of one day.
find_package(SQLite3 REQUIRED)
add_executable(record_bench ${CMAKE_CURRENT_LIST_DIR}/record_bench.cpp)
target_link_libraries(record_bench PRIVATE blipcount_record SQLite::SQLite3 benchmark::benchmark)
