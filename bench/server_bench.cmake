# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# The status page of the largest history against its 20 ms limit and two baselines.
add_executable(server_bench ${CMAKE_CURRENT_LIST_DIR}/server_bench.cpp)
target_link_libraries(server_bench PRIVATE blipcount_server benchmark::benchmark)
