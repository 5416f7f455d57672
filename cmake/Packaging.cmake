# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# The Debian package: `cmake --preset package && cmake --build --preset package --target package`
# makes build/package/morvel_<version>-<release>_<arch>.deb from the install rules, with the
# manual pages, the copyright file and the changelog that Debian asks of every package. The
# package preset builds with Debian's hardening flags, and two builds of one commit give the same
# bytes (cmake/PackageBuild.cmake).

add_subdirectory(${PROJECT_SOURCE_DIR}/docs/man ${PROJECT_BINARY_DIR}/docs/man)

# /usr/share/doc/morvel: the copyright file, and in the package the compressed changelog.
set(_docdir ${CMAKE_INSTALL_DATADIR}/doc/morvel)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${_docdir})
set(_changelog ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz)
add_custom_command(OUTPUT ${_changelog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/changelog.Debian > ${_changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog.Debian
    VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${_changelog})
# What only the Debian package carries: an install to a prefix of one's own (~/.local) has no
# use for Debian's changelog or lintian's overrides.
if(MORVEL_PACKAGE_BUILD)
    install(FILES ${_changelog} DESTINATION ${_docdir})
    # Lintian's findings that do not apply to this package, each with its reason.
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME morvel)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Morvel maintainers <maintainers@users.noreply.c-seed-b1b9dded.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "CPU benchmark and stress test")
# The long description, wrapped as the package's control file shows it.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Morvel loads every processor with fifteen worker threads that run the same"
    "fixed 64-bit trial-division workload. The benchmark runs for three minutes"
    "and scores the slowest worker; the stress test keeps the load on for 20"
    "minutes to 4 hours to show that the machine stays stable. Every worker is"
    "checked against the known answer while it runs, so a computation error ends"
    "the test as failed, and each completed test adds a dated line to a report"
    "log."
    ""
    "The package holds the desktop program morvel and morvel-cli, which runs the"
    "same tests without a window, for servers and scripts.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Depends: worked out by dpkg-shlibdeps from the shared libraries the programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Wayland platform plugin for a native window in Wayland sessions; the fonts the window
# asks for by their metric-compatible names.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
# Reproducible archives: xz keeps no time stamp (gzip's header would), and every file in them is
# dated at the last commit. CPack reads SOURCE_DATE_EPOCH from its environment, which this file,
# read by cpack when it starts, sets.
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
if(DEFINED MORVEL_SOURCE_DATE_EPOCH)
    set(_cpack_settings ${PROJECT_BINARY_DIR}/packaging/CPackSettings.cmake)
    file(WRITE ${_cpack_settings}
        "set(ENV{SOURCE_DATE_EPOCH} ${MORVEL_SOURCE_DATE_EPOCH})\n")
    set(CPACK_PROJECT_CONFIG_FILE ${_cpack_settings})
endif()
include(CPack)
