# Installation and packages. Both lay the program out the way it is started: bin/ holds it and
# res/grass.bmp sits beside bin/, so that ..\res\grass.bmp is found from bin/.
#   Windows (cpack --preset windows): a zip with bin/tavik.exe and res/grass.bmp.
#   Linux (cpack --preset deb): a .deb with /usr/lib/tavik/bin/tavik, /usr/lib/tavik/res/grass.bmp,
#   the launcher /usr/bin/tavik and a desktop entry, both of which start it in its bin/.
if(WIN32)
  set(TAVIK_INSTALL_DIR .)
else()
  set(TAVIK_INSTALL_DIR lib/tavik)
endif()
install(TARGETS tavik RUNTIME DESTINATION ${TAVIK_INSTALL_DIR}/bin)
install(FILES ${PROJECT_SOURCE_DIR}/res/grass.bmp DESTINATION ${TAVIK_INSTALL_DIR}/res)

if(NOT WIN32)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/linux/tavik.sh.in
                 ${CMAKE_CURRENT_BINARY_DIR}/packaging/tavik @ONLY)
  install(PROGRAMS ${CMAKE_CURRENT_BINARY_DIR}/packaging/tavik DESTINATION bin)
  # The desktop entry needs absolute paths, so it is written at install time for the prefix in
  # force then (the packaging prefix, /usr, when CPack installs with DESTDIR).
  install(CODE "
    set(TAVIK_BIN_DIR \"\${CMAKE_INSTALL_PREFIX}/${TAVIK_INSTALL_DIR}/bin\")
    set(desktop_file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/applications/tavik.desktop\")
    message(STATUS \"Installing: \${desktop_file}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/packaging/linux/tavik.desktop.in\" \"\${desktop_file}\"
                   @ONLY)
  ")
endif()

set(CPACK_PACKAGE_NAME tavik)
set(CPACK_PACKAGE_VENDOR "Tavik")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Small OpenGL viewer: a grass-textured box turning over three axes")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x86_64)
  # bin/ and res/ at the top of the archive.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_SET_DESTDIR ON)
  set(CPACK_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tavik developers <tavik@example.org>")
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  # Depends on the shared libraries it links (GLEW, GL, GLU, X11, the C++ runtime).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
