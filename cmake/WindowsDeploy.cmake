# What a Windows install needs beside vireon.exe, so the installed folder runs on a machine
# without vcpkg or Visual Studio (included by cmake/Install.cmake on Windows):
# - the DLLs of the libraries it links, found from the executable's imports in vcpkg's bin;
# - Qt's plugins and the QML modules the interface imports, placed by windeployqt, plus the
#   offscreen platform that --headless selects, which windeployqt leaves out;
# - the Visual C++ runtime.
set(VIREON_DLL_DIRECTORIES "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}")
if(DEFINED VCPKG_INSTALLED_DIR AND DEFINED VCPKG_TARGET_TRIPLET)
  list(APPEND VIREON_DLL_DIRECTORIES "${VCPKG_INSTALLED_DIR}/${VCPKG_TARGET_TRIPLET}/bin")
endif()
install(RUNTIME_DEPENDENCY_SET vireon_runtime_dlls
  DESTINATION ${CMAKE_INSTALL_BINDIR}
  DIRECTORIES ${VIREON_DLL_DIRECTORIES}
  # Windows' own libraries are on every machine.
  PRE_EXCLUDE_REGEXES "^api-ms-" "^ext-ms-"
  POST_EXCLUDE_REGEXES "[/\\\\][Ss]ystem32[/\\\\]")

find_program(VIREON_WINDEPLOYQT NAMES windeployqt windeployqt6
  HINTS "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}"
        "${VCPKG_INSTALLED_DIR}/${VCPKG_TARGET_TRIPLET}/tools/Qt6/bin")
if(NOT VIREON_WINDEPLOYQT)
  message(FATAL_ERROR "windeployqt not found: an install would lack Qt's plugins and QML modules")
endif()
# Run on the installed executable, so cmake --install and cpack (which installs into its
# staging folder as the prefix) both get a complete folder.
install(CODE "
  execute_process(COMMAND \"${VIREON_WINDEPLOYQT}\" --release --no-translations
                          --no-compiler-runtime --qmldir \"${PROJECT_SOURCE_DIR}/ui/qml\"
                          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/vireon.exe\"
                  COMMAND_ERROR_IS_FATAL ANY)")
if(TARGET Qt6::QOffscreenIntegrationPlugin)
  install(FILES $<TARGET_FILE:Qt6::QOffscreenIntegrationPlugin>
          DESTINATION ${CMAKE_INSTALL_BINDIR}/platforms)
endif()

set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION ${CMAKE_INSTALL_BINDIR})
include(InstallRequiredSystemLibraries)
