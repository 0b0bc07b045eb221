# Read by cpack for each generator (CPACK_PROJECT_CONFIG_FILE in cmake/Package.cmake).
# The Windows installer carries the name the update manager saves its download under,
# so the release server and a manual download hand out the same file.
if(CPACK_GENERATOR MATCHES "^NSIS")
  set(CPACK_PACKAGE_FILE_NAME Vireon_Setup_Update)
  # Apps & features shows the version as the program does ("2.4.5b").
  set(CPACK_PACKAGE_VERSION ${CPACK_VIREON_DISPLAY_VERSION})
endif()
