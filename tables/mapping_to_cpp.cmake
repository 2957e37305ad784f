# SPDX-License-Identifier: MIT
# Turns the mapping text file into rows of a C++ array initializer, one {code, unicode} pair a
# line. Run in tables/ as: cmake -DINPUT=cp932.txt -DOUTPUT=cp932_rows.inc -P mapping_to_cpp.cmake
file(READ "${INPUT}" text)
string(REGEX REPLACE "#[^\n]*\n" "" rows "${text}")
string(REGEX REPLACE "(0x[0-9A-F]+)\t(0x[0-9A-F]+)\n" "{\\1, \\2},\n" rows "${rows}")
# Anything that is not a converted row means the file is damaged: fail the build.
string(REGEX REPLACE "{0x[0-9A-F]+, 0x[0-9A-F]+},\n" "" rest "${rows}")
if(NOT rest STREQUAL "")
  message(FATAL_ERROR "${INPUT}: lines that are neither comments nor mapping rows")
endif()
file(WRITE "${OUTPUT}.tmp" "// Made from tables/${INPUT} by tables/mapping_to_cpp.cmake; do not edit.\n${rows}")
configure_file("${OUTPUT}.tmp" "${OUTPUT}" COPYONLY) # rewritten only when it changes
file(REMOVE "${OUTPUT}.tmp")
