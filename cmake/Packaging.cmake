# The Debian package: `cpack -G DEB` in the build folder (or `cmake --build --preset dev --target
# package`) makes morvel_<version>-<release>_<arch>.deb from the install rules, with the manual
# pages, the copyright file and the changelog that Debian asks of every package.

add_subdirectory(${PROJECT_SOURCE_DIR}/docs/man ${PROJECT_BINARY_DIR}/docs/man)

