# Compiler settings shared by every target of the project; each target links it
# PRIVATE, so the flags never leak into a consumer's build.
add_library(quarvel_build_flags INTERFACE)
target_compile_options(quarvel_build_flags INTERFACE -Wall -Wextra -Wpedantic -Wshadow
  -Wnon-virtual-dtor -Wcast-align -Wunused -Woverloaded-virtual -Wimplicit-fallthrough)
# GCC 12 warns about std::string concatenation at -O2 and above where no overlap
# can happen (GCC bug 105651); the warning says nothing about our code.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(quarvel_build_flags INTERFACE -Wno-restrict)
endif()
if(QUARVEL_WERROR)
  target_compile_options(quarvel_build_flags INTERFACE -Werror)
endif()
if(QUARVEL_SANITIZE)
  target_compile_options(quarvel_build_flags INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(quarvel_build_flags INTERFACE -fsanitize=address,undefined)
endif()
if(QUARVEL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QUARVEL_FUZZ needs clang: configure with CC=clang CXX=clang++")
  endif()
  # Coverage for libFuzzer in every target; the harnesses add the fuzzer's main.
  target_compile_options(quarvel_build_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined
    -fno-sanitize-recover=undefined -fno-omit-frame-pointer
    -fsanitize-coverage-ignorelist=${PROJECT_SOURCE_DIR}/tests/fuzz/coverage-ignore.txt)
  target_link_options(quarvel_build_flags INTERFACE -fsanitize=address,undefined)
endif()
