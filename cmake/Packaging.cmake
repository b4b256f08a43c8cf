# The Debian package, built by scripts/package-deb.sh with CPack's DEB
# generator from what `cmake --install` installs: both programs, the desktop
# entry and icons, the man pages, and the copyright and changelog every
# Debian package carries. Dependencies are computed from the binaries by
# dpkg-shlibdeps (the Qt 6 and C++ runtime libraries), not listed by hand.
set(packaging "${PROJECT_SOURCE_DIR}/packaging")
set(changelog "${PROJECT_BINARY_DIR}/packaging/changelog.gz")
add_custom_command(OUTPUT "${changelog}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${PROJECT_BINARY_DIR}/packaging"
  COMMAND gzip -9nc "${packaging}/changelog" > "${changelog}"
  DEPENDS "${packaging}/changelog"
  VERBATIM)
add_custom_target(package_changelog ALL DEPENDS "${changelog}")
install(FILES "${packaging}/copyright" "${changelog}" DESTINATION share/doc/vondrel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vondrel)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
set(CPACK_PACKAGE_CONTACT "Vondrel developers <dev@vondrel.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # vondrel_1.0.0_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "compact and repair damaged Microsoft Access databases\n"
  "Vondrel compacts and repairs a damaged Microsoft Jet database file (.mdb,\n"
  "Access 95 to 2003) in place, with its own Jet engine: it reads damaged files\n"
  "without crashing, salvages what is readable into a fresh compacted file, and\n"
  "swaps it in atomically.\n"
  "\n"
  "The package holds the window program vondrel and the command-line tool\n"
  "vondrel-jet, which repairs, compacts, checks and exports databases from\n"
  "scripts.")
# CPack indents the lines after the first and writes an empty one as " .".
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
include(CPack)
