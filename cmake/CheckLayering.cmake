# Checks the layering that the libraries' link lines stand for, which the compiler
# cannot see (every header is reachable from the source root):
#   - every #include "..." of a product folder names a header of that folder or of a
#     folder it may use, and a header named *_internal.h only from its own folder;
#   - the core folders, the command-line kit and the fronts without a window (cli,
#     server) include no Qt header;
#   - every source file of a library folder is listed in that folder's CMakeLists.txt
#     (outside its comments), and the project's libraries it links are those of the
#     folders it may use;
#   - the tests' folders and bench/ likewise: each may include what the library it
#     tests (the core's: the whole core) may use and the support library they share
#     (tests/support, included as "support/..."), which no product folder may include;
#   - every namespace a library folder opens is its folder's, quarvel::<library> or one
#     inside it (ui/kit and ui/pages are quarvel::ui), but for the failure vocabulary
#     of platform/failure.h, which every layer names, in quarvel itself.
# Run as: cmake -DSOURCE_DIR=<source root> -P cmake/CheckLayering.cmake

cmake_minimum_required(VERSION 3.25)

set(core platform render engine settings)
set(may_use_platform platform)
set(may_use_render platform render)
set(may_use_engine platform render engine)
set(may_use_settings platform render engine settings)
set(may_use_ui/kit ${core} ui/kit)
set(may_use_ui/pages ${core} ui/kit ui/pages)
set(may_use_ui ${core} ui/kit ui/pages ui)
set(may_use_app ${core} ui/kit ui/pages ui app)
set(may_use_cmdline platform cmdline)
set(may_use_cli ${core} cmdline cli)
set(may_use_server ${core} cmdline server)
# The tests and the benchmarks stand on one support library (tests/support, included as
# "support/..."), which uses the libraries below the window's and the window itself. The
# tests of a library use what it may use and the support; those of the core all of the
# core, which the support library links.
set(may_use_tests/support ${core} ui/kit ui/pages ui tests/support)
foreach(library IN LISTS core)
  set(may_use_tests/${library} ${core} tests/support tests/${library})
endforeach()
set(may_use_tests/cli ${may_use_cli} tests/support tests/cli)
set(may_use_tests/server ${may_use_server} tests/support tests/server)
foreach(part ui ui/kit ui/pages)
  set(may_use_tests/${part} ${may_use_ui} tests/support tests/${part})
endforeach()
set(may_use_bench ${core} ui/kit ui/pages ui tests/support bench)
set(test_folders tests/support tests/platform tests/render tests/engine tests/settings tests/cli tests/server
  tests/ui tests/ui/kit tests/ui/pages)
# The folders that may include no Qt header.
set(qt_free ${core} cmdline cli server tests/platform tests/render tests/engine tests/settings tests/cli tests/server)
set(folders platform render engine settings ui/kit ui/pages ui app cmdline cli server ${test_folders} bench)
# The folders whose declarations live in their library's namespace, and the one file
# that declares in quarvel itself.
set(namespaced ${core} ui/kit ui/pages ui cmdline cli server)
set(in_quarvel platform/failure.h)

# The folder a header or source path belongs to: its directory below the root.
function(folder_of path out)
  get_filename_component(dir "${path}" DIRECTORY)
  set(${out} "${dir}" PARENT_SCOPE)
endfunction()

# The source files each folder's CMakeLists.txt names outside its comments, as whole
# names (page.cpp is not listed by file_page.cpp), and the targets it makes.
foreach(folder IN LISTS folders)
  # A folder without a CMakeLists.txt of its own (tests/ui/kit) is listed by its parent's.
  set(lister ${folder})
  while(NOT EXISTS ${SOURCE_DIR}/${lister}/CMakeLists.txt)
    get_filename_component(lister ${lister} DIRECTORY)
  endwhile()
  file(STRINGS ${SOURCE_DIR}/${lister}/CMakeLists.txt lines)
  set(list_file "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "#.*" "" line "${line}")
    string(APPEND list_file "${line}\n")
  endforeach()
  set(list_file_${folder} "${list_file}")
  set(lister_${folder} ${lister})
  string(REGEX MATCHALL "[A-Za-z0-9_.-]+\\.cpp" listed_${folder} "${list_file}")
  string(REGEX MATCHALL "add_(library|executable)\\([A-Za-z0-9_-]+" made "${list_file}")
  list(TRANSFORM made REPLACE "add_(library|executable)\\(" "")
  set(targets_${folder} ${made})
endforeach()

# The project's libraries each folder links (quarvel_*) are its own, those of the
# folders it may use, the compiler settings, and quarvel_core where all of the core
# may be used.
set(problems "")
foreach(folder IN LISTS folders)
  set(allowed quarvel_build_flags)
  set(uses_core TRUE)
  foreach(used IN LISTS may_use_${folder})
    list(APPEND allowed ${targets_${used}})
  endforeach()
  foreach(part IN LISTS core)
    if(NOT part IN_LIST may_use_${folder})
      set(uses_core FALSE)
    endif()
  endforeach()
  if(uses_core)
    list(APPEND allowed quarvel_core)
  endif()
  string(REGEX MATCHALL "target_link_libraries\\([^)]*\\)" calls "${list_file_${folder}}")
  foreach(call IN LISTS calls)
    # The words after the target that links.
    string(REGEX REPLACE "^target_link_libraries\\([A-Za-z0-9_-]+" "" call "${call}")
    string(REGEX MATCHALL "quarvel_[a-z_]+" linked "${call}")
    foreach(library IN LISTS linked)
      if(NOT library IN_LIST allowed)
        string(APPEND problems "  ${folder}/CMakeLists.txt: ${folder}/ may not link ${library}\n")
      endif()
    endforeach()
  endforeach()
endforeach()

foreach(folder IN LISTS folders)
  file(GLOB sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.h)
  if(NOT sources)
    string(APPEND problems "  ${folder}: no sources found\n")
  endif()
  foreach(source IN LISTS sources)
    file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS lines)
      if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
        set(header "${CMAKE_MATCH_1}")
        folder_of("${header}" target)
        # A header named without a folder is generated beside the library (the width
        # table) or, in tests, a moc file; both belong to the including folder.
        if(target STREQUAL "")
          set(target ${folder})
        elseif(target STREQUAL "support")
          set(target tests/support)
        endif()
        if(NOT target IN_LIST may_use_${folder})
          string(APPEND problems "  ${source}: ${folder}/ may not include ${header}\n")
        elseif(header MATCHES "_internal\\.h$" AND NOT target STREQUAL folder)
          string(APPEND problems "  ${source}: ${header} is ${target}/'s own\n")
        endif()
      elseif(line MATCHES "#[ \t]*include[ \t]*<(Q[A-Za-z]*)" AND folder IN_LIST qt_free)
        string(APPEND problems "  ${source}: ${folder}/ includes no Qt (<${CMAKE_MATCH_1}>)\n")
      endif()
    endforeach()
    if(folder IN_LIST namespaced AND NOT source IN_LIST in_quarvel)
      # Its own namespace, or that of a library it uses (to declare a class ahead).
      set(libraries "")
      foreach(used IN LISTS may_use_${folder})
        string(REGEX REPLACE "/.*" "" library ${used})
        list(APPEND libraries ${library})
      endforeach()
      list(REMOVE_DUPLICATES libraries)
      list(JOIN libraries "|" libraries)
      string(REGEX REPLACE "/.*" "" library ${folder})
      file(STRINGS ${SOURCE_DIR}/${source} opened REGEX "^[ \t]*namespace[ \t]+quarvel")
      foreach(line IN LISTS opened)
        if(NOT line MATCHES "namespace[ \t]+quarvel::(${libraries})([ \t{]|::)")
          string(APPEND problems "  ${source}: '${line}' outside quarvel::${library}\n")
        endif()
      endforeach()
    endif()
    if(source MATCHES "\\.cpp$")
      get_filename_component(name ${source} NAME)
      if(NOT name IN_LIST listed_${folder})
        string(APPEND problems "  ${source}: not listed in ${lister_${folder}}/CMakeLists.txt\n")
      endif()
    endif()
  endforeach()
endforeach()

if(problems)
  message(FATAL_ERROR "Layering broken:\n${problems}")
endif()
message(STATUS "Layering holds for: ${folders}")
