# The DLL's export table as the toolchain's objdump prints it: exactly
# ordinals 1, 3 and 4, named WAVReverse, SoundRecorderStart and
# SoundRecorderStop, without decoration.
# Usage: cmake -DOBJDUMP=... -DLIBRARY=... -P check_export_table.cmake
execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${LIBRARY} failed")
endif()
string(REGEX MATCH "Export Address Table -- Ordinal Base ([0-9]+)\n(([^\n]+\n)*)" addresses "${dump}")
set(base ${CMAKE_MATCH_1})
string(REGEX MATCHALL "\\+base\\[ *([0-9]+)\\]" slots "${CMAKE_MATCH_2}")
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([^\n]+\n)*)" names "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" named "${CMAKE_MATCH_1}")
string(REGEX REPLACE "\\[ *([0-9]+)\\] " "\\1=" named "${named}")
list(SORT named)
set(expected_slots "+base[   1];+base[   3];+base[   4]")
string(REGEX REPLACE " +" " " slots "${slots}")
string(REGEX REPLACE " +" " " expected_slots "${expected_slots}")
# The name table's indices count from the ordinal base.
set(expected_named "0=WAVReverse;2=SoundRecorderStart;3=SoundRecorderStop")
list(SORT expected_named)
if(NOT base STREQUAL "1" OR NOT slots STREQUAL expected_slots OR NOT named STREQUAL expected_named)
  message(FATAL_ERROR "unexpected export table in ${LIBRARY}:\n base ${base}\n slots ${slots}\n names ${named}\n${addresses}${names}")
endif()
message(STATUS "export table: ordinals 1, 3, 4 as WAVReverse, SoundRecorderStart, SoundRecorderStop")
