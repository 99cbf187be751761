# `cmake --install` into one self-contained folder:
#   <prefix>/kvchat                 the client
#   <prefix>/kvchat-server          the local chat server
#   <prefix>/kvchat.INI             settings with the server's address (an existing file is kept)
#   <prefix>/share/applications/kvchat.desktop
#   <prefix>/share/icons/hicolor/{scalable,128x128}/apps/kvchat.{svg,png}
# The client reads and writes its settings file beside its executable, so the folder must
# be writable by the user who runs it:  cmake --install build --prefix ~/kvchat

if(TARGET kvchat)
    install(TARGETS kvchat RUNTIME DESTINATION .)
endif()
if(TARGET kvchat-server)
    install(TARGETS kvchat-server RUNTIME DESTINATION .)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/resources/kvchat.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/kvchat.png DESTINATION share/icons/hicolor/128x128/apps)

install(CODE "set(KV_DESKTOP_SOURCE \"${PROJECT_SOURCE_DIR}/resources/kvchat.desktop\")")
install(CODE [[
    get_filename_component(kv_prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
    set(kv_root "$ENV{DESTDIR}${kv_prefix}")

    # The settings an installation supplies: the server's address and port (CP932, CR LF).
    # The user's own file, with their window state and rooms, stays as it is.
    set(kv_ini "${kv_root}/kvchat.INI")
    if(EXISTS "${kv_ini}")
        message(STATUS "Kept: ${kv_ini}")
    else()
        message(STATUS "Installing: ${kv_ini}")
        file(WRITE "${kv_ini}" "[Common]\r\nIP=127.0.0.1\r\nPort=9010\r\n")
    endif()

    # The menu entry names the executable and the icon by their installed paths, since
    # the folder is usually not on PATH nor among the icon themes' folders.
    file(READ "${KV_DESKTOP_SOURCE}" kv_desktop)
    string(REGEX REPLACE "\nExec=[^\n]*" "\nExec=\"${kv_prefix}/kvchat\"" kv_desktop "${kv_desktop}")
    string(REGEX REPLACE "\nIcon=[^\n]*" "\nIcon=${kv_prefix}/share/icons/hicolor/128x128/apps/kvchat.png"
           kv_desktop "${kv_desktop}")
    string(APPEND kv_desktop "Path=${kv_prefix}\n")
    set(kv_desktop_file "${kv_root}/share/applications/kvchat.desktop")
    message(STATUS "Installing: ${kv_desktop_file}")
    file(WRITE "${kv_desktop_file}" "${kv_desktop}")
]])

# The Debian package's layout, installed only on request by scripts/package:
#   cmake --install build --prefix /usr --component deb --strip
# Programs in /usr/bin, the desktop entry, icons, AppStream metainfo, man pages, the
# installation's settings in /etc/kvchat (read by every user's first start, never written).
foreach(program kvchat kvchat-server)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION bin COMPONENT deb EXCLUDE_FROM_ALL)
    endif()
endforeach()
set(kv_res ${PROJECT_SOURCE_DIR}/resources)
set(kv_generated ${PROJECT_BINARY_DIR}/package)
install(FILES ${kv_res}/kvchat.desktop DESTINATION share/applications COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES ${kv_res}/kvchat.svg DESTINATION share/icons/hicolor/scalable/apps COMPONENT deb EXCLUDE_FROM_ALL)
foreach(size 48 256)
    install(FILES ${kv_res}/icons/kvchat-${size}.png DESTINATION share/icons/hicolor/${size}x${size}/apps
            RENAME kvchat.png COMPONENT deb EXCLUDE_FROM_ALL)
endforeach()
configure_file(${kv_res}/package/kvchat.metainfo.xml ${kv_generated}/kvchat.metainfo.xml @ONLY)
install(FILES ${kv_generated}/kvchat.metainfo.xml DESTINATION share/metainfo COMPONENT deb EXCLUDE_FROM_ALL)
foreach(page kvchat kvchat-server)
    configure_file(${kv_res}/man/${page}.1 ${kv_generated}/${page}.1 @ONLY)
    # -n: no name or time stamp inside, so the same page gives the same bytes.
    execute_process(COMMAND gzip -9nf ${kv_generated}/${page}.1)
    install(FILES ${kv_generated}/${page}.1.gz DESTINATION share/man/man1 COMPONENT deb EXCLUDE_FROM_ALL)
endforeach()
install(FILES ${kv_res}/package/copyright ${PROJECT_SOURCE_DIR}/docs/user-guide.ja.md
        DESTINATION share/doc/kvchat COMPONENT deb EXCLUDE_FROM_ALL)
execute_process(COMMAND gzip -9nc ${kv_res}/package/changelog OUTPUT_FILE ${kv_generated}/changelog.gz)
install(FILES ${kv_generated}/changelog.gz DESTINATION share/doc/kvchat COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES ${kv_res}/package/kvchat.INI DESTINATION /etc/kvchat COMPONENT deb EXCLUDE_FROM_ALL)
