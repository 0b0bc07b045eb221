# Installation: the program in bin, its manuals in share/vireon; on Linux also a desktop
# entry and the icon in the freedesktop places and the manual page, on Windows the libraries,
# Qt plugins and QML modules beside the program (cmake/WindowsDeploy.cmake).
#   cmake --install build [--prefix /usr/local]
# The packages (cmake/Package.cmake) are built from the same rules.
include(GNUInstallDirs)

# The installed program finds its data folder relative to itself, so a staged or relocated
# install (DESTDIR, another prefix) works as well as the configured one.
set(VIREON_DATA_SUBDIR "${CMAKE_INSTALL_DATADIR}/vireon")
file(RELATIVE_PATH VIREON_RELATIVE_DATADIR
     "${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}"
     "${CMAKE_INSTALL_PREFIX}/${VIREON_DATA_SUBDIR}")
set_property(SOURCE ${PROJECT_SOURCE_DIR}/src/common/AppPaths.cpp TARGET_DIRECTORY vireon_core
             APPEND PROPERTY COMPILE_DEFINITIONS
             VIREON_INSTALL_BINDIR="${CMAKE_INSTALL_FULL_BINDIR}"
             VIREON_RELATIVE_DATADIR="${VIREON_RELATIVE_DATADIR}")

file(GLOB VIREON_MANUAL_FILES ${PROJECT_SOURCE_DIR}/manuals/GETTING_STARTED_*.md)

if(WIN32)
  # The DLLs it imports are collected into this set (cmake/WindowsDeploy.cmake).
  set(VIREON_RUNTIME_DEPENDENCIES RUNTIME_DEPENDENCY_SET vireon_runtime_dlls)
endif()
install(TARGETS vireon ${VIREON_RUNTIME_DEPENDENCIES} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VIREON_MANUAL_FILES} DESTINATION ${VIREON_DATA_SUBDIR})

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsDeploy.cmake)
elseif(UNIX AND NOT APPLE)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/vireon.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icon.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps RENAME vireon.png)
  include(${CMAKE_CURRENT_LIST_DIR}/ManPage.cmake)
endif()
