# Installation, laid out the way the program is started: bin/ holds it and ../res/grass.bmp is
# found from bin/. scripts/package.sh turns the installed trees into the packages.
#   Windows: bin/tavik.exe, res/grass.bmp and LICENSE.txt (the zip and the MSI).
#   Linux (prefix /usr in the .deb): the program in libexec/tavik/bin, the bitmap in share/tavik
#   with libexec/tavik/res linking to it, the launcher bin/tavik, the desktop entry, the icon in
#   the hicolor theme, the AppStream metadata and the manual page tavik(1).
# The project version and the date of the last commit (SOURCE_DATE_EPOCH, which CMake's
# string(TIMESTAMP) honours) go into the metadata's release, the manual page and the changelog.
set(TAVIK_APP_ID org.tavik.Tavik)
string(TIMESTAMP TAVIK_RELEASE_DATE "%Y-%m-%d" UTC)

if(WIN32)
  install(TARGETS tavik RUNTIME DESTINATION bin)
  install(FILES ${PROJECT_SOURCE_DIR}/res/grass.bmp DESTINATION res)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  return()
endif()

set(TAVIK_INSTALL_DIR libexec/tavik)
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(generated ${CMAKE_CURRENT_BINARY_DIR}/packaging)
install(TARGETS tavik RUNTIME DESTINATION ${TAVIK_INSTALL_DIR}/bin)
install(FILES ${PROJECT_SOURCE_DIR}/res/grass.bmp DESTINATION share/tavik)
install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TAVIK_INSTALL_DIR}\")
  file(CREATE_LINK ../../share/tavik
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TAVIK_INSTALL_DIR}/res\" SYMBOLIC)
")

configure_file(${packaging}/linux/tavik.sh.in ${generated}/tavik @ONLY)
install(PROGRAMS ${generated}/tavik DESTINATION bin)
# The desktop entry needs absolute paths, so it is written at install time for the prefix in
# force then.
install(CODE "
  set(TAVIK_BIN_DIR \"\${CMAKE_INSTALL_PREFIX}/${TAVIK_INSTALL_DIR}/bin\")
  set(desktop_file
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/applications/${TAVIK_APP_ID}.desktop\")
  message(STATUS \"Installing: \${desktop_file}\")
  configure_file(\"${packaging}/linux/${TAVIK_APP_ID}.desktop.in\" \"\${desktop_file}\" @ONLY)
")

configure_file(${packaging}/linux/${TAVIK_APP_ID}.metainfo.xml.in
               ${generated}/${TAVIK_APP_ID}.metainfo.xml @ONLY)
install(FILES ${generated}/${TAVIK_APP_ID}.metainfo.xml DESTINATION share/metainfo)
configure_file(${packaging}/linux/tavik.1.in ${generated}/tavik.1 @ONLY)
install(FILES ${generated}/tavik.1 DESTINATION share/man/man1)
string(TIMESTAMP TAVIK_RELEASE_DATE_RFC2822 "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${packaging}/debian/changelog.in ${generated}/debian/changelog @ONLY)

# The icon: the SVG, and PNG sizes rendered from it (cmake/Icons.cmake).
install(FILES ${TAVIK_ICON_SVG} DESTINATION share/icons/hicolor/scalable/apps)
set(pngs)
foreach(size 16 24 32 48 64 128 256)
  tavik_render_icon(${size} ${generated}/icons png)
  install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
  list(APPEND pngs ${png})
endforeach()
add_custom_target(tavik_icons ALL DEPENDS ${pngs})
