# Turns a width table of res/ (code point in hexadecimal, width in pixels, and any
# further columns) into a C++ initializer list of {code point, width} pairs.
file(STRINGS ${INPUT} lines)
set(body "")
foreach(line IN LISTS lines)
  if(line MATCHES "^([0-9A-Fa-f]+)\t([0-9]+)(\t.*)?$")
    string(APPEND body "{0x${CMAKE_MATCH_1},${CMAKE_MATCH_2}},\n")
  endif()
endforeach()
file(WRITE ${OUTPUT} "${body}")
