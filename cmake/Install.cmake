# What `cmake --install` puts under the prefix beside the two programs (installed by
# app/ and cli/). The Debian packages are made of this tree (debian/*.install list
# which package holds which file), so a file made another way here reaches them as
# long as its installed path stays:
#   share/man/man1/quarvel-cli.1, share/man/ja/man1/quarvel-cli.1,
#   share/bash-completion/completions/quarvel-cli, share/zsh/vendor-completions/_quarvel-cli,
#   share/fish/vendor_completions.d/quarvel-cli.fish (and quarvel-server's, by server/)
#   share/man/man1/quarvel.1, share/man/ja/man1/quarvel.1,
#   share/quarvel/translations/quarvel_*.qm (ui/), share/applications/quarvel.desktop,
#   share/metainfo/<id>.metainfo.xml, share/icons/hicolor/*/apps/quarvel.{png,svg},
#   share/mime/packages/quarvel.xml, share/thumbnailers/quarvel.thumbnailer
#                                                         (the window's, when it is built)

set(QUARVEL_HOMEPAGE "https://github.com/quarvel/quarvel"
    CACHE STRING "The project's homepage, named in the AppStream metainfo (and by debian/rules in the packages)")

# The pictures of docs/images as the metainfo's screenshots: software centres fetch them
# from where the version's tree is published, by default its tag under the homepage.
set(QUARVEL_SCREENSHOTS_URL "" CACHE STRING
    "Where the pictures of docs/images are published, named in the AppStream metainfo (empty: under the homepage)")
if(NOT QUARVEL_SCREENSHOTS_URL)
  set(QUARVEL_SCREENSHOTS_URL "${QUARVEL_HOMEPAGE}/raw/v${PROJECT_VERSION}/docs/images")
endif()

set(quarvel_install_files ${PROJECT_BINARY_DIR}/install-files)

# quarvel-cli's bash, zsh and fish completion and man page, written by the build from its table of
# commands (cli/CMakeLists.txt); packaging compresses the man pages.
install(FILES ${QUARVEL_CLI_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${QUARVEL_CLI_ZSH_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${QUARVEL_CLI_FISH_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
install(FILES ${QUARVEL_CLI_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${QUARVEL_CLI_MAN_PAGE_JA} DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)

# The window's man pages, English and Japanese, with the version filled in.
if(TARGET quarvel)
  configure_file(${PROJECT_SOURCE_DIR}/res/man/quarvel.1 ${quarvel_install_files}/quarvel.1 @ONLY)
  install(FILES ${quarvel_install_files}/quarvel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  configure_file(${PROJECT_SOURCE_DIR}/res/man/ja/quarvel.1 ${quarvel_install_files}/ja/quarvel.1 @ONLY)
  install(FILES ${quarvel_install_files}/ja/quarvel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)
endif()

if(NOT TARGET quarvel)
  return()
endif()

set(quarvel_appstream_id io.github.quarvel.Quarvel)
configure_file(${PROJECT_SOURCE_DIR}/res/${quarvel_appstream_id}.metainfo.xml
  ${quarvel_install_files}/${quarvel_appstream_id}.metainfo.xml @ONLY)
install(FILES ${quarvel_install_files}/${quarvel_appstream_id}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/res/quarvel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Template collections as a type of file the desktop knows, opened by the window and
# shown by their first pieces (quarvel-cli thumbnail).
install(FILES ${PROJECT_SOURCE_DIR}/res/quarvel-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
  RENAME quarvel.xml)
install(FILES ${PROJECT_SOURCE_DIR}/res/quarvel.thumbnailer DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
install(FILES ${PROJECT_SOURCE_DIR}/res/quarvel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size IN LISTS QUARVEL_ICON_SIZES)
  install(FILES ${QUARVEL_ICON_DIR}/${size}x${size}/apps/quarvel.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
