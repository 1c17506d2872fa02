# Fails when ARCHITECTURE.md's row of scripts and the folder scripts/ disagree: a
# script that the row does not name, or a name in the row with no script behind it.
#   cmake -DSOURCE_DIR=<repository> -P cmake/CheckScriptsListed.cmake

cmake_minimum_required(VERSION 3.20)
file(STRINGS ${SOURCE_DIR}/ARCHITECTURE.md rows REGEX "^\\| `scripts/` \\|")
list(LENGTH rows count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "ARCHITECTURE.md has ${count} rows for scripts/, not one")
endif()

file(GLOB scripts RELATIVE ${SOURCE_DIR}/scripts ${SOURCE_DIR}/scripts/*)
string(REGEX MATCHALL "`[A-Za-z0-9_.-]+\\.(sh|py)`" named "${rows}")
set(listed)
foreach(name IN LISTS named)
  string(REPLACE "`" "" name "${name}")
  list(APPEND listed ${name})
  if(NOT name IN_LIST scripts)
    list(APPEND problems "ARCHITECTURE.md names ${name}, which scripts/ does not hold")
  endif()
endforeach()
foreach(script IN LISTS scripts)
  if(NOT script IN_LIST listed)
    list(APPEND problems "scripts/${script} is not named in ARCHITECTURE.md's row of scripts")
  endif()
endforeach()

if(problems)
  list(JOIN problems "\n" text)
  message(FATAL_ERROR "${text}")
endif()
list(LENGTH scripts n)
message(STATUS "the ${n} scripts of scripts/ are all named in ARCHITECTURE.md")
