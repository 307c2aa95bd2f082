cmake_minimum_required(VERSION 3.25)
# Compiles a message-table source with windmc into OUTPUT_DIR: <name>.rc and one
# MSG<language>.bin per language, holding 8-bit text in code page 1252 (-A).
# windmc ends each line of a text with the line end it read, and the texts need
# CRLF, so it reads a copy with CRLF line ends whatever the checkout holds. The
# source is UTF-8 (-C 65001).
# Usage: cmake -DWINDMC=... -DINPUT=<name>.mc -DOUTPUT_DIR=... -P MessageTable.cmake
foreach(var WINDMC INPUT OUTPUT_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "MessageTable: ${var} is not set")
  endif()
endforeach()

get_filename_component(name "${INPUT}" NAME)
file(READ "${INPUT}" text)
string(REPLACE "\r" "" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(MAKE_DIRECTORY "${OUTPUT_DIR}")
file(WRITE "${OUTPUT_DIR}/${name}" "${text}")

execute_process(COMMAND "${WINDMC}" -A -C 65001 -r "${OUTPUT_DIR}" -h "${OUTPUT_DIR}" "${name}"
  WORKING_DIRECTORY "${OUTPUT_DIR}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "MessageTable: ${WINDMC} failed on ${INPUT}")
endif()
