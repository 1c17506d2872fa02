# What an installation holds beside the two programs, and the Debian package made of it
# (`cmake --build build --target package`, CPack's DEB generator):
#   bin/quarvel, bin/quarvel-cli                      (app/, cli/)
#   share/applications/quarvel.desktop, icon          (app/)
#   share/metainfo/<id>.metainfo.xml                  AppStream: software centres list it
#   share/man/man1/quarvel.1.gz, quarvel-cli.1.gz
#   share/bash-completion/completions/quarvel-cli
#   share/doc/quarvel/copyright, changelog.gz
# scripts/check-package.sh checks the package: its files, its dependencies, lintian, and
# that it installs and runs.

set(QUARVEL_PACKAGE_MAINTAINER "Quarvel maintainers <maintainers@quarvel.invalid>"
    CACHE STRING "The Maintainer of the Debian package, as \"Name <address>\"")

set(quarvel_package_files ${PROJECT_BINARY_DIR}/package-files)
set(quarvel_appstream_id io.github.quarvel.Quarvel)

# The files with the version (and the maintainer) filled in; the man pages and the
# changelog compressed as Debian's tools expect them: gzip at its best with no file
# name or time stamp inside, so that the package is the same from build to build.
set(pages quarvel-cli.1)
if(TARGET quarvel)
  list(APPEND pages quarvel.1)
endif()
set(compressed)
foreach(source IN LISTS pages ITEMS changelog)
  if(source STREQUAL "changelog")
    set(input ${PROJECT_SOURCE_DIR}/res/debian/changelog)
  else()
    set(input ${PROJECT_SOURCE_DIR}/res/man/${source})
  endif()
  configure_file(${input} ${quarvel_package_files}/${source} @ONLY)
  add_custom_command(
    OUTPUT ${quarvel_package_files}/${source}.gz
    COMMAND gzip -9 -n -k -f ${source}
    WORKING_DIRECTORY ${quarvel_package_files}
    DEPENDS ${quarvel_package_files}/${source}
    VERBATIM)
  list(APPEND compressed ${quarvel_package_files}/${source}.gz)
endforeach()
add_custom_target(quarvel_package_files ALL DEPENDS ${compressed})

list(TRANSFORM pages PREPEND ${quarvel_package_files}/)
list(TRANSFORM pages APPEND .gz)
install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/res/bash-completion/quarvel-cli
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${PROJECT_SOURCE_DIR}/res/debian/copyright ${quarvel_package_files}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quarvel)

# The package is the window program's: without it (QUARVEL_CORE_ONLY) there is none.
if(NOT TARGET quarvel)
  return()
endif()

configure_file(${PROJECT_SOURCE_DIR}/res/${quarvel_appstream_id}.metainfo.xml
  ${quarvel_package_files}/${quarvel_appstream_id}.metainfo.xml @ONLY)
install(FILES ${quarvel_package_files}/${quarvel_appstream_id}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The changelog's newest entry names the version it packages.
file(STRINGS ${PROJECT_SOURCE_DIR}/res/debian/changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^quarvel \\(${PROJECT_VERSION}\\) ")
  message(WARNING "res/debian/changelog: its newest entry is not for version ${PROJECT_VERSION}; "
                  "add one before making the package")
endif()

set(CPACK_GENERATOR DEB)
# The package holds the default component only: quarvel-server installs as the
# component "server" (server/CMakeLists.txt), to be packaged on its own.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};Unspecified;/")
set(CPACK_VERBATIM_VARIABLES ON)  # the description's quotes reach the package as typed
set(CPACK_PACKAGE_NAME quarvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${QUARVEL_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "draw Japanese text art into PNG pictures")
set(CPACK_PACKAGE_DESCRIPTION
    "Quarvel draws Japanese text art (AA) into PNG pictures exactly as the
proportional font \"MS PGothic\" lays it out at 12 points: every character
advances by that font's own width, so the art lines up on any machine.

Text typed or pasted into its window is saved as one picture. Saved
bulletin-board threads (HTML in Shift-JIS or EUC-JP) are converted in place:
each marked stretch of text becomes a numbered picture and an image tag.

The package holds the window program quarvel and the command-line tool
quarvel-cli.")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # quarvel_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries (Qt 6, FreeType, fontconfig, libpng, ...) come from dpkg-shlibdeps;
# the fonts that the art is drawn with are read at run time and must be named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-mona, fonts-monapo, fonts-ipafont-gothic, fonts-symbola")

include(CPack)
