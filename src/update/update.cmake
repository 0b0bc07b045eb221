# Updates of vireon_core: the release manifest, version comparison, the trust decisions and
# the UpdateManager that checks, downloads, verifies and installs the package.
target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/VersionCompare.h ${CMAKE_CURRENT_LIST_DIR}/VersionCompare.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UpdateManifest.h ${CMAKE_CURRENT_LIST_DIR}/UpdateManifest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UpdateTrust.h ${CMAKE_CURRENT_LIST_DIR}/UpdateTrust.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UpdateTexts.h
  ${CMAKE_CURRENT_LIST_DIR}/UpdateManager.h ${CMAKE_CURRENT_LIST_DIR}/UpdateManager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UpdateManagerDownload.cpp
)
