# The macos and macos-universal presets are listed, and on a system other than macOS configuring
# either stops at once with its one-sentence reason (and leaves no build behind).
# Run with -DSOURCE_DIR=... -DWORK_DIR=...
if(CMAKE_HOST_SYSTEM_NAME STREQUAL "Darwin")
  message(FATAL_ERROR "preset_check.cmake checks the refusal off a Mac; on a Mac build the preset")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} --list-presets WORKING_DIRECTORY ${SOURCE_DIR}
  OUTPUT_VARIABLE _list ERROR_VARIABLE _list RESULT_VARIABLE _list_rc)
foreach(_preset macos macos-universal)
  if(NOT _list_rc EQUAL 0 OR NOT _list MATCHES "\n *\"${_preset}\" +- ")
    message(FATAL_ERROR "cmake --list-presets (status ${_list_rc}) does not list the ${_preset} preset:\n${_list}")
  endif()

  file(REMOVE_RECURSE ${WORK_DIR})
  execute_process(COMMAND ${CMAKE_COMMAND} --preset ${_preset} -B ${WORK_DIR}
    WORKING_DIRECTORY ${SOURCE_DIR} OUTPUT_VARIABLE _out ERROR_VARIABLE _err RESULT_VARIABLE _rc)
  if(_rc EQUAL 0)
    message(FATAL_ERROR "cmake --preset ${_preset} configured on ${CMAKE_HOST_SYSTEM_NAME}:\n${_out}")
  endif()
  # CMake wraps the message: join its lines before reading it.
  string(REGEX REPLACE "[ \n]+" " " _flat "${_err}")
  if(NOT _flat MATCHES "CMake Error at CMakeLists.txt:[0-9]+ \\(message\\): (.*need a Mac.*\\.) ?$")
    message(FATAL_ERROR "cmake --preset ${_preset} failed without its reason:\n${_err}")
  endif()
  set(_reason "${CMAKE_MATCH_1}")
  if(_reason MATCHES "[.!?] [A-Z]")
    message(FATAL_ERROR "the refusal is more than one sentence: ${_reason}")
  endif()
  message(STATUS "${_preset} refused: ${_reason}")
  if(_out MATCHES "compiler identification")
    message(FATAL_ERROR "cmake --preset ${_preset} looked for compilers before refusing:\n${_out}")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
