# Compiler settings shared by every target of the project.
add_library(quarvel_settings INTERFACE)
target_compile_options(quarvel_settings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
  -Wnon-virtual-dtor -Wcast-align -Wunused -Woverloaded-virtual -Wimplicit-fallthrough)
if(QUARVEL_WERROR)
  target_compile_options(quarvel_settings INTERFACE -Werror)
endif()
if(QUARVEL_SANITIZE)
  target_compile_options(quarvel_settings INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(quarvel_settings INTERFACE -fsanitize=address,undefined)
endif()
