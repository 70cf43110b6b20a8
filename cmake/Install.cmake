# What `cmake --install` puts in place, and the Debian package made from it
# (`cpack -G DEB` in the build folder).

install(TARGETS linkward-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/doc/help.html DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/linkward)

# The manual page is written from linkward-cli --help at build time, so the
# two cannot drift apart.
set(LINKWARD_MAN_PAGE ${PROJECT_BINARY_DIR}/linkward-cli.1)
add_custom_command(OUTPUT ${LINKWARD_MAN_PAGE}
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:linkward-cli> -DVERSION=${PROJECT_VERSION}
    -DOUTPUT=${LINKWARD_MAN_PAGE} -P ${PROJECT_SOURCE_DIR}/cmake/HelpToMan.cmake
  DEPENDS linkward-cli ${PROJECT_SOURCE_DIR}/cmake/HelpToMan.cmake
  COMMENT "Writing the manual page of linkward-cli from its --help")
add_custom_target(linkward_man_page ALL DEPENDS ${LINKWARD_MAN_PAGE})
install(FILES ${LINKWARD_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/data/linkward-cli.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME linkward-cli)

if(TARGET linkward)
  install(TARGETS linkward RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/data/linkward.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/data/linkward.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  configure_file(${PROJECT_SOURCE_DIR}/data/linkward.metainfo.xml.in
    ${PROJECT_BINARY_DIR}/com.example.linkward.metainfo.xml @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/com.example.linkward.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

set(CPACK_PACKAGE_NAME linkward)
set(CPACK_PACKAGE_VENDOR "Quillfen Software")
set(CPACK_PACKAGE_CONTACT "Linkward team <linkward-support@linkward.example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "link checker for HTML files (desktop and terminal)")
set(CPACK_PACKAGE_DESCRIPTION
  "Linkward tests the absolute http:// and ftp:// links of HTML files and lists
the broken ones, with a Qt desktop program (linkward) and a terminal program
(linkward-cli) over one engine.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://linkward.example.com/")
# The shared libraries the programs link are found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET linkward)
  # Qt loads its SVG support as a plug-in, which dpkg-shlibdeps cannot see:
  # the window's icon is an SVG.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
endif()
set(CPACK_GENERATOR DEB)
include(CPack)
