# Packages built by CPack from the install rules (cmake/Install.cmake):
#   cpack -G DEB     in the build folder on Debian: vireon_<version>_<arch>.deb
#   cpack -G NSIS    on Windows: the installer the update manager downloads
set(CPACK_PACKAGE_NAME vireon)
set(CPACK_PACKAGE_VENDOR Vireon)
set(CPACK_PACKAGE_CONTACT "Vireon <packages@vireon.studio>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://vireon.studio")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "multi-camera ISO recorder")
# Lines of at most 80 characters, as Debian's package tools show them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Vireon records up to four cameras and audio inputs at once, each to a file"
  "of its own, and writes an FCP7 XML timeline of every take with the live"
  "source switches as cuts, ready for DaVinci Resolve or Premiere Pro. A phone"
  "on the same network controls it through a built-in web page.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/resources/copyright)
set(CPACK_STRIP_FILES ON)
# Per generator settings (the installer's file name), read when cpack runs.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackageGenerators.cmake)
set(CPACK_VIREON_DISPLAY_VERSION ${VIREON_DISPLAY_VERSION})

# Windows installer: Program Files\Vireon, a Start-menu entry for the program and one for
# the uninstaller, which Apps & features lists too.
set(CPACK_PACKAGE_INSTALL_DIRECTORY Vireon)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Vireon)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# The installer's title and Start-menu folder stay "Vireon" from one version to the next.
set(CPACK_NSIS_PACKAGE_NAME Vireon)
set(CPACK_NSIS_DISPLAY_NAME "Vireon ${VIREON_DISPLAY_VERSION}")
set(CPACK_PACKAGE_EXECUTABLES vireon Vireon)
set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\\\vireon.exe")
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/resources/icon.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/resources/icon.ico)
set(CPACK_NSIS_MUI_FINISHPAGE_RUN vireon.exe)
# An update installs over the running version's folder: remove the old files first.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_URL_INFO_ABOUT ${CPACK_PACKAGE_HOMEPAGE_URL})
set(CPACK_NSIS_CONTACT ${CPACK_PACKAGE_CONTACT})

if(UNIX AND NOT APPLE)
  # Debian orders "2.4.5~b" before "2.4.5", so the release replaces the beta on upgrade.
  string(REGEX REPLACE "^([0-9.]+)([a-z]+)$" "\\1~\\2" VIREON_DEBIAN_VERSION "${VIREON_DISPLAY_VERSION}")
  set(CPACK_DEBIAN_PACKAGE_VERSION ${VIREON_DEBIAN_VERSION})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION video)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The libraries it links are found by dpkg-shlibdeps; what it loads at run time (QML
  # modules, fonts) comes from the runtime section of the one package list.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/install-deps.sh --list runtime
                  OUTPUT_VARIABLE VIREON_RUNTIME_PACKAGES RESULT_VARIABLE VIREON_LIST_STATUS)
  if(NOT VIREON_LIST_STATUS EQUAL 0)
    message(FATAL_ERROR "scripts/install-deps.sh --list runtime failed")
  endif()
  string(STRIP "${VIREON_RUNTIME_PACKAGES}" VIREON_RUNTIME_PACKAGES)
  string(REPLACE "\n" ", " CPACK_DEBIAN_PACKAGE_DEPENDS "${VIREON_RUNTIME_PACKAGES}")

  # A Debian package documents itself with its copyright and a changelog; the changelog's
  # date follows SOURCE_DATE_EPOCH when set, so a rebuild can give the same package.
  string(TIMESTAMP VIREON_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${PROJECT_SOURCE_DIR}/resources/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
  execute_process(COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/changelog
                  OUTPUT_FILE ${CMAKE_BINARY_DIR}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/copyright ${CMAKE_BINARY_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vireon)
endif()

include(CPack)
