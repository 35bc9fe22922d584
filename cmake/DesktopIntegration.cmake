# SPDX-License-Identifier: GPL-3.0-or-later
# The desktop entry, AppStream metadata and application icon, and where they install.
# (src/saved installs the demo pages.)
# Included from the top-level CMakeLists.txt after pagewright_ui and pagewright-player exist.

set(PGW_DATA_DIR ${PROJECT_SOURCE_DIR}/data)
set(PGW_ICON_SVG ${PGW_DATA_DIR}/icons/pagewright-player.svg)
set(PGW_ICON_SIZES 16 24 32 48 64 128 256 512)

# The SVG is the only icon source; the PNG sizes are rendered from it at build time.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(pgw_icon_pngs)
foreach(size IN LISTS PGW_ICON_SIZES)
    set(png ${PROJECT_BINARY_DIR}/icons/${size}x${size}/pagewright-player.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/icons/${size}x${size}
        COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --format=png --output=${png} ${PGW_ICON_SVG}
        DEPENDS ${PGW_ICON_SVG}
        COMMENT "Rendering the ${size}x${size} application icon"
        VERBATIM)
    list(APPEND pgw_icon_pngs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(pagewright-player-icons ALL DEPENDS ${pgw_icon_pngs})
install(FILES ${PGW_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The window icon, compiled in: the SVG, and a PNG for when Qt's SVG icon engine is missing.
set_source_files_properties(${PGW_ICON_SVG} PROPERTIES QT_RESOURCE_ALIAS pagewright-player.svg)
set_source_files_properties(${PROJECT_BINARY_DIR}/icons/256x256/pagewright-player.png
    PROPERTIES QT_RESOURCE_ALIAS pagewright-player-256.png)
qt_add_resources(pagewright_ui pagewright_icons PREFIX /icons FILES
    ${PGW_ICON_SVG} ${PROJECT_BINARY_DIR}/icons/256x256/pagewright-player.png)

install(FILES ${PGW_DATA_DIR}/pagewright-player.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The release entry carries the project version.
set(PGW_METAINFO ${PROJECT_BINARY_DIR}/io.pagewright.Player.metainfo.xml)
configure_file(${PGW_DATA_DIR}/io.pagewright.Player.metainfo.xml.in ${PGW_METAINFO} @ONLY)
install(FILES ${PGW_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

