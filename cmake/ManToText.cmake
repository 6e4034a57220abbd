# Renders a manual page as plain text with CR LF line ends, for Windows.
#   cmake -DGROFF=... -DSOURCE=page.1 -DOUTPUT=page.txt -P ManToText.cmake
execute_process(COMMAND ${GROFF} -t -man -Tascii -P-cbou ${SOURCE}
  OUTPUT_VARIABLE text RESULT_VARIABLE failed ERROR_VARIABLE errors)
if(failed OR text STREQUAL "")
  message(FATAL_ERROR "groff could not render ${SOURCE}: ${errors}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT} "${text}")
