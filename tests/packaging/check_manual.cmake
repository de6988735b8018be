# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# Formats the manual page as man does and fails on any warning troff gives.
execute_process(COMMAND ${CMAKE_COMMAND} -E env MANWIDTH=80 ${MAN} --warnings -l ${PAGE}
  RESULT_VARIABLE result OUTPUT_VARIABLE page ERROR_VARIABLE warnings)
if(NOT result EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "man ${PAGE}: exit ${result}\n${warnings}")
endif()
if(NOT page MATCHES "blipcount - pulse logger for radiation survey meters")
  message(FATAL_ERROR "The page has no NAME line:\n${page}")
endif()
