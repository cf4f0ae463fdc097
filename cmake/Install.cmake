# `cmake --install build --prefix P`: the programs in P/bin, libvorn in P/lib (found through a run
# path relative to the programs), the program's own files in P/share/mosswick, where the
# programs look for them when they are not beside the executable.
set(mosswick_share share/mosswick)

set_target_properties(mosswick vornrun PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")
install(TARGETS mosswick vornrun RUNTIME DESTINATION bin)
install(TARGETS vorn LIBRARY DESTINATION lib)
if(TARGET mosswick_webview)
  install(TARGETS mosswick_webview LIBRARY DESTINATION lib/mosswick)
endif()

install(DIRECTORY resources/python resources/macros DESTINATION ${mosswick_share}
        PATTERN "__pycache__" EXCLUDE)
install(FILES resources/classlist.txt resources/readme.rtf DESTINATION ${mosswick_share})
install(DIRECTORY DESTINATION ${mosswick_share}/res/scripts)

install(FILES docs/man/mosswick.1 docs/man/vornrun.1 DESTINATION share/man/man1)

# The application menu: the desktop entry, the AppStream metadata and the icon in three sizes.
set(mosswick_desktop resources/desktop)
install(FILES ${mosswick_desktop}/org.mosswick.Mosswick.desktop DESTINATION share/applications)
install(FILES ${mosswick_desktop}/org.mosswick.Mosswick.metainfo.xml DESTINATION share/metainfo)
install(FILES ${mosswick_desktop}/mosswick.svg DESTINATION share/icons/hicolor/scalable/apps)
foreach(size 48 128)
  install(FILES ${mosswick_desktop}/mosswick-${size}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME mosswick.png)
endforeach()

include(cmake/Package.cmake)
