# What `cmake --install` puts where: the program, its data folder (the user's
# guide, found by the program as <prefix>/share/driftwell), the desktop entry,
# the icon in every size, and the MIME type of project files so that a file
# manager opens ".dwv" files with Driftwell. Included from gui/app/CMakeLists.txt.

set(_pkg ${CMAKE_CURRENT_LIST_DIR})
set(_art ${CMAKE_CURRENT_LIST_DIR}/../gui/kit/art)

install(TARGETS driftwell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES "${DW_DATA_BUILD_DIR}/${DW_GUIDE_NAME}" DESTINATION ${CMAKE_INSTALL_DATADIR}/driftwell)
install(FILES ${_pkg}/driftwell.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_pkg}/driftwell-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME driftwell.xml)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${_art}/icon/driftwell-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME driftwell.png)
  install(FILES ${_art}/icon/driftwell-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/mimetypes
    RENAME application-x-driftwell-project.png)
endforeach()

# Refresh the desktop's caches when installing for real (not into a staging
# DESTDIR); missing tools are simply skipped.
install(CODE [[
  if(NOT "$ENV{DESTDIR}" STREQUAL "")
    return()
  endif()
  set(_share "${CMAKE_INSTALL_PREFIX}/share")
  find_program(_mime update-mime-database)
  if(_mime)
    execute_process(COMMAND ${_mime} "${_share}/mime" OUTPUT_QUIET ERROR_QUIET)
  endif()
  find_program(_desktop update-desktop-database)
  if(_desktop)
    execute_process(COMMAND ${_desktop} "${_share}/applications" OUTPUT_QUIET ERROR_QUIET)
  endif()
  find_program(_icons gtk-update-icon-cache)
  if(_icons AND EXISTS "${_share}/icons/hicolor/index.theme")
    execute_process(COMMAND ${_icons} -q -t "${_share}/icons/hicolor" OUTPUT_QUIET ERROR_QUIET)
  endif()
]])
