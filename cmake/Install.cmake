# Installation for a Linux desktop: the program in bin, its manuals in share/vireon, a
# desktop entry and the icon in the freedesktop places.
#   cmake --install build [--prefix /usr/local]
include(GNUInstallDirs)

# The installed program finds its data folder relative to itself, so a staged or relocated
# install (DESTDIR, another prefix) works as well as the configured one.
set(VIREON_DATA_SUBDIR "${CMAKE_INSTALL_DATADIR}/vireon")
file(RELATIVE_PATH VIREON_RELATIVE_DATADIR
     "${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}"
     "${CMAKE_INSTALL_PREFIX}/${VIREON_DATA_SUBDIR}")
set_property(SOURCE ${PROJECT_SOURCE_DIR}/src/app/AppPaths.cpp TARGET_DIRECTORY vireon_core
             APPEND PROPERTY COMPILE_DEFINITIONS
             VIREON_INSTALL_BINDIR="${CMAKE_INSTALL_FULL_BINDIR}"
             VIREON_RELATIVE_DATADIR="${VIREON_RELATIVE_DATADIR}")

file(GLOB VIREON_MANUAL_FILES ${PROJECT_SOURCE_DIR}/manuals/GETTING_STARTED_*.md)

install(TARGETS vireon RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VIREON_MANUAL_FILES} DESTINATION ${VIREON_DATA_SUBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/vireon.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps RENAME vireon.png)
