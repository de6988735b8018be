# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
# Installs the build into a fresh staging folder under /usr and compares the files there with
# the expected list, one path a line.
file(REMOVE_RECURSE ${STAGE})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${STAGE} ${CMAKE_COMMAND} --install ${BUILD_DIR}
    --prefix /usr
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
file(GLOB_RECURSE installed RELATIVE ${STAGE} ${STAGE}/*)
list(SORT installed)
file(STRINGS ${EXPECTED} expected REGEX "^[^#]")
list(SORT expected)
if(NOT installed STREQUAL expected)
  set(missing ${expected})
  list(REMOVE_ITEM missing ${installed})
  set(extra ${installed})
  list(REMOVE_ITEM extra ${expected})
  message(FATAL_ERROR "The installed files differ from the list.\nMissing: ${missing}\nNot listed: ${extra}")
endif()
list(LENGTH installed count)
message(STATUS "${STAGE}: the ${count} listed files, no others")
