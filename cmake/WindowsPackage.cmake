# The release for Windows: blockxfer-<version>-win64.zip with both
# programs, a sample run.bat, the U-Boot script uboot-flash.bat, the README and the manual page as text, the
# texts with CR LF line ends. In the mingw build folder:
#   cmake --build . && cpack
set(dos_text ${CMAKE_BINARY_DIR}/dos-text)

# Installs a text file of the sources as `name`, with CR LF line ends.
function(install_dos_text source name)
  file(READ ${source} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${dos_text}/${name} "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  install(FILES ${dos_text}/${name} DESTINATION .)
endfunction()

install_dos_text(${PROJECT_SOURCE_DIR}/README.md README.txt)
install_dos_text(${PROJECT_SOURCE_DIR}/doc/run.bat run.bat)
install_dos_text(${PROJECT_SOURCE_DIR}/doc/uboot-flash.bat uboot-flash.bat)

find_program(GROFF groff REQUIRED)
add_custom_command(OUTPUT ${dos_text}/blockxfer.txt
  COMMAND ${CMAKE_COMMAND} -DGROFF=${GROFF} -DSOURCE=${PROJECT_SOURCE_DIR}/doc/blockxfer.1
          -DOUTPUT=${dos_text}/blockxfer.txt -P ${PROJECT_SOURCE_DIR}/cmake/ManToText.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/doc/blockxfer.1 ${PROJECT_SOURCE_DIR}/cmake/ManToText.cmake
  COMMENT "Rendering the manual page as text")
add_custom_target(manual_text ALL DEPENDS ${dos_text}/blockxfer.txt)
install(FILES ${dos_text}/blockxfer.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME blockxfer)
set(CPACK_PACKAGE_VENDOR blockxfer)
set(CPACK_PACKAGE_FILE_NAME blockxfer-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES TRUE)
include(CPack)
