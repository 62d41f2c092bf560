# The live page beside the executables of this build, and what `cmake --install` and the package put in
# place: both programs, data/ in the share folder, the desktop entry and icon, man pages, the systemd
# user unit and the recipe for a reverse proxy.
include(GNUInstallDirs)
# Installing and packaging take what was built: the programs only (scripts/package.sh builds them), not
# every test first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

configure_file(${PROJECT_SOURCE_DIR}/data/top.html ${QV_OUTPUT_DIR}/data/top.html COPYONLY)

install(TARGETS qvserver-headless RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET qvserver)
  install(TARGETS qvserver RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# The programs find data/ in <prefix>/share/qvserver/ from <prefix>/bin/ (common/FileLocations.h).
install(FILES data/top.html data/wait.jpg DESTINATION ${CMAKE_INSTALL_DATADIR}/qvserver/data)

# The desktop entry of the build tree names this build's files; the installed one names the program
# and the icon as the system finds them.
file(READ ${PROJECT_SOURCE_DIR}/ui/resources/qvserver.desktop.in QV_DESKTOP_TEXT)
string(REPLACE "@QV_OUTPUT_DIR@/qvserver" "qvserver" QV_DESKTOP_TEXT "${QV_DESKTOP_TEXT}")
string(REPLACE "@QV_ICON_PATH@" "qvserver" QV_DESKTOP_TEXT "${QV_DESKTOP_TEXT}")
file(WRITE ${CMAKE_BINARY_DIR}/install/qvserver.desktop "${QV_DESKTOP_TEXT}")
if(TARGET qvserver)
  install(FILES ${CMAKE_BINARY_DIR}/install/qvserver.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()
install(FILES ui/resources/qvserver.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

install(FILES docs/man/qvserver-headless.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(TARGET qvserver)
  install(FILES docs/man/qvserver.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES docs/reverse-proxy.md docs/nginx-qvserver.conf DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/qvserver)

# systemd looks for user units in <prefix>/lib/systemd/user, whatever the library folder is.
install(FILES data/systemd/qvserver-headless.service DESTINATION lib/systemd/user)

# scripts/package.sh: cpack -G DEB
set(CPACK_PACKAGE_NAME qvserver)
set(CPACK_PACKAGE_VENDOR "QV Server")
set(CPACK_PACKAGE_CONTACT "QV Server developers <qvserver@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "publishes a live picture of this screen over HTTP")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
