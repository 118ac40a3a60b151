# Writes the manual page of velmorblind (gzip-compressed) from the program's own help: the summary
# of `velmorblind --help` through help2man, then each command's --help, word for word.
# cmake -DPROGRAM=... -DVERSION=... -DINCLUDE=velmorblind.h2m -DOUTPUT=velmorblind.1 -DHELP2MAN=... -DGZIP=...
#   -P ManPage.cmake
set(commands "")
foreach(command info render demo)
  execute_process(COMMAND ${PROGRAM} ${command} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${command} --help failed (${status})")
  endif()
  # roff: a backslash is written \e, a line starting with a dot or quote is escaped with \&.
  string(REPLACE "\\" "\\e" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(TOUPPER ${command} title)
  string(APPEND commands "[COMMAND ${title}]\n.nf\n${help}.fi\n\n")
endforeach()
file(READ ${INCLUDE} fixed)
file(WRITE ${OUTPUT}.h2m "${commands}${fixed}")
execute_process(COMMAND ${HELP2MAN} --no-info --version-string=${VERSION}
                        "--name=render a blinds transition between pictures" --include=${OUTPUT}.h2m
                        --output=${OUTPUT} ${PROGRAM}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed (${status})")
endif()
execute_process(COMMAND ${GZIP} -9nf ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed (${status})")
endif()
