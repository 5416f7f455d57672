# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# The build the Debian package is made from (the `package` preset, MORVEL_PACKAGE_BUILD=ON),
# included before project(): Debian's build flags, hardening included, and output that does not
# depend on when or where it was built.
#
# Flags: those of `dpkg-buildflags` with every hardening feature (fortified functions, stack
# protector, full RELRO, immediate binding), as Debian builds its packages. Its file-prefix map
# names the folder it was run in; it is replaced below by maps of this source and build folder,
# given as compile options so that the build record of the programs does not hold the paths.
find_program(DPKG_BUILDFLAGS_EXECUTABLE dpkg-buildflags)
if(NOT DPKG_BUILDFLAGS_EXECUTABLE)
    message(FATAL_ERROR "The package build needs dpkg-buildflags (package dpkg-dev)")
endif()
foreach(_kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
            ${DPKG_BUILDFLAGS_EXECUTABLE} --get ${_kind}
        OUTPUT_VARIABLE _flags_${_kind}
        OUTPUT_STRIP_TRAILING_WHITESPACE
        COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX REPLACE "-f(file|debug|macro)-prefix-map=[^ ]*" "" _flags_${_kind}
        "${_flags_${_kind}}")
    string(REGEX REPLACE "  +" " " _flags_${_kind} "${_flags_${_kind}}")
    string(STRIP "${_flags_${_kind}}" _flags_${_kind})
endforeach()
set(CMAKE_CXX_FLAGS_INIT "${_flags_CPPFLAGS} ${_flags_CXXFLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_flags_LDFLAGS}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_flags_LDFLAGS}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_flags_LDFLAGS}")

# The programs are installed in /usr/bin and find their libraries there: no RUNPATH.
set(CMAKE_SKIP_RPATH ON)

# One date for everything dated in the package: that of the last commit (SOURCE_DATE_EPOCH when
# set), for the manual pages, the resources compiled in and the archives' files.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(MORVEL_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
    execute_process(
        COMMAND git log -1 --format=%ct
        WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
        OUTPUT_VARIABLE MORVEL_SOURCE_DATE_EPOCH
        OUTPUT_STRIP_TRAILING_WHITESPACE
        ERROR_QUIET
        RESULT_VARIABLE _git_result)
    if(NOT _git_result EQUAL 0 OR MORVEL_SOURCE_DATE_EPOCH STREQUAL "")
        # Not a git checkout: the date of the package's changelog file.
        file(TIMESTAMP ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog.Debian
            MORVEL_SOURCE_DATE_EPOCH "%s" UTC)
    endif()
endif()
# Every custom command (the resource compiler, scdoc) runs with it.
set_property(GLOBAL PROPERTY RULE_LAUNCH_CUSTOM
    "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${MORVEL_SOURCE_DATE_EPOCH}")
