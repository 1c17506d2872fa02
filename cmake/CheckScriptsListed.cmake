# Fails when ARCHITECTURE.md's row of scripts and the folder scripts/ disagree: a
# script that the row does not name, or a name in the row with no script behind it;
# and when the profiles of scripts/install-deps.sh are not the ones ARCHITECTURE.md's
# row and the README name.
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

# The profiles: the words of install-deps.sh's `case`, each "NAME)".
file(STRINGS ${SOURCE_DIR}/scripts/install-deps.sh cases REGEX "^    [a-z]+\\) ")
set(profiles)
foreach(line IN LISTS cases)
  string(REGEX REPLACE "^    ([a-z]+)\\).*" "\\1" profile "${line}")
  list(APPEND profiles ${profile})
endforeach()
list(JOIN profiles "`, `" quoted)
string(REGEX MATCH "install-deps.sh` \\(the Debian packages of one kind of work: `[^)]*\\)" named_profiles "${rows}")
if(NOT named_profiles MATCHES "`${quoted}`\\)$")
  list(APPEND problems "ARCHITECTURE.md's profiles of install-deps.sh are not `${quoted}`: ${named_profiles}")
endif()
file(READ ${SOURCE_DIR}/README.md readme)
foreach(profile IN LISTS profiles)
  if(NOT readme MATCHES "install-deps.sh PROFILE`[^.]*`${profile}`")
    list(APPEND problems "README.md does not name the profile ${profile} of install-deps.sh")
  endif()
endforeach()

if(problems)
  list(JOIN problems "\n" text)
  message(FATAL_ERROR "${text}")
endif()
list(LENGTH scripts n)
message(STATUS "the ${n} scripts of scripts/ are all named in ARCHITECTURE.md")
