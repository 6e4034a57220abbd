# The Debian package of the Linux build: `cpack -G DEB` in the build folder
# makes blockxfer_<version>_<arch>.deb with both programs and the manual
# page. Its version is the project's; its dependencies are read from the
# binaries by dpkg-shlibdeps (package dpkg-dev).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME blockxfer)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "blockxfer maintainers <blockxfer@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "X/Y-Modem transfer tool and bench program for programming boards")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "blockxfer sends a file to a device on a serial port, or receives one from it,
with X-Modem (checksum, CRC, 1K) or Y-Modem (and Y-Modem G), and can then
record what the device prints into a log file.
flashstation is the one-window bench program of a production line: it
watches a board's console, hands the port to its programming job (run.bat,
which runs blockxfer) and shows the operator from LOG whether the board
was programmed.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
