# Turns res/mspgothic16-widths.tsv into a C++ initializer list of {code point, width} pairs.
file(STRINGS ${INPUT} lines)
set(body "")
foreach(line IN LISTS lines)
  if(line MATCHES "^([0-9A-Fa-f]+)\t([0-9]+)$")
    string(APPEND body "{0x${CMAKE_MATCH_1},${CMAKE_MATCH_2}},\n")
  endif()
endforeach()
file(WRITE ${OUTPUT} "${body}")
