# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# Writes OUTPUT, a header defining MORVEL_GIT_REVISION as the commit checked out in SOURCE_DIR
# (empty when there is none), and touches it only when the text changes, so that a build without
# a new commit rebuilds nothing.
find_package(Git QUIET)
set(revision "")
if(GIT_FOUND)
    execute_process(
        COMMAND ${GIT_EXECUTABLE} rev-parse HEAD
        WORKING_DIRECTORY ${SOURCE_DIR}
        OUTPUT_VARIABLE revision
        OUTPUT_STRIP_TRAILING_WHITESPACE
        ERROR_QUIET
        RESULT_VARIABLE result)
    if(NOT result EQUAL 0 OR NOT revision MATCHES "^[0-9a-f]+$")
        set(revision "")
    endif()
endif()
set(text "// Written at build time; do not edit.\n#define MORVEL_GIT_REVISION \"${revision}\"\n")
if(EXISTS ${OUTPUT})
    file(READ ${OUTPUT} old)
else()
    set(old "")
endif()
if(NOT old STREQUAL text)
    file(WRITE ${OUTPUT} "${text}")
endif()
