# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# Run by `cmake --install` and by CPack, after MORVEL_DESKTOP_SOURCE (the entry with
# @MORVEL_DESKTOP_EXEC@ in it), MORVEL_DESKTOP_WORK (a file of the build folder to write it to
# first), MORVEL_BINDIR and MORVEL_DATADIR (GNUInstallDirs' folders, relative to the prefix or
# absolute) are set.
# Installs the menu entry for the prefix being installed to: in /usr/bin the program is found on
# every PATH and the entry names it alone; anywhere else (~/.local, /opt/morvel) by its full path,
# so the menu entry works even when that folder is not on PATH.
foreach(_folder bindir datadir)
    string(TOUPPER "MORVEL_${_folder}" _given)
    if(IS_ABSOLUTE "${${_given}}")
        set(_${_folder} "${${_given}}")
    else()
        set(_${_folder} "${CMAKE_INSTALL_PREFIX}/${${_given}}")
    endif()
    cmake_path(NORMAL_PATH _${_folder})
    string(REGEX REPLACE "(.)/$" "\\1" _${_folder} "${_${_folder}}")
endforeach()

if(_bindir STREQUAL "/usr/bin")
    set(MORVEL_DESKTOP_EXEC morvel)
else()
    # The Exec key's quoting: a path with a reserved character is put in double quotes, with a
    # backslash before ", `, $ and \; then, as in every string of the file, \ is written \\.
    # A per cent sign is doubled in any case (a single one starts a field code).
    set(_exec "${_bindir}/morvel")
    if(_exec MATCHES "[] \t\"'\\\\><~|&;$*?#()`[]")
        string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" _exec "${_exec}")
        set(_exec "\"${_exec}\"")
        string(REPLACE "\\" "\\\\" _exec "${_exec}")
    endif()
    string(REPLACE "%" "%%" MORVEL_DESKTOP_EXEC "${_exec}")
endif()

configure_file("${MORVEL_DESKTOP_SOURCE}" "${MORVEL_DESKTOP_WORK}" @ONLY)
file(INSTALL "${MORVEL_DESKTOP_WORK}" DESTINATION "${_datadir}/applications")
