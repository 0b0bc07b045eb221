# Remote control of vireon_core: the HTTP server with its JSON API, the MJPEG preview, the QR
# code of its address and the phone page: remote.html, its style remote.css and its script
# remote.js, compiled into the resources under :/remote/.
if(WIN32)
  # vcpkg's nayuki-qr-code-generator installs a CMake package, not a pkg-config file.
  find_package(unofficial-nayuki-qr-code-generator CONFIG REQUIRED)
  # Seen by every directory that links vireon_core, as the pkg-config target is.
  set_target_properties(unofficial::nayuki-qr-code-generator::nayuki-qr-code-generator
    PROPERTIES IMPORTED_GLOBAL TRUE)
else()
  # GLOBAL: the imported target is linked to vireon_core, which other directories link in turn.
  pkg_check_modules(QRCODEGEN REQUIRED IMPORTED_TARGET GLOBAL qrcodegencpp)
endif()

target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/HttpRequestParser.h ${CMAKE_CURRENT_LIST_DIR}/HttpRequestParser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HttpResponse.h ${CMAKE_CURRENT_LIST_DIR}/HttpResponse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HostCheck.h ${CMAKE_CURRENT_LIST_DIR}/HostCheck.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AccessKey.h ${CMAKE_CURRENT_LIST_DIR}/AccessKey.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RequestAccess.h ${CMAKE_CURRENT_LIST_DIR}/RequestAccess.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WrongKeyLimiter.h ${CMAKE_CURRENT_LIST_DIR}/WrongKeyLimiter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ConnectionLimits.h ${CMAKE_CURRENT_LIST_DIR}/ConnectionLimits.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RemoteAccessSettings.h ${CMAKE_CURRENT_LIST_DIR}/RemoteAccessSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SocketAcceptor.h ${CMAKE_CURRENT_LIST_DIR}/SocketAcceptor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LocalAddress.h ${CMAKE_CURRENT_LIST_DIR}/LocalAddress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/QrCodeImage.h ${CMAKE_CURRENT_LIST_DIR}/QrCodeImage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PreviewStream.h ${CMAKE_CURRENT_LIST_DIR}/PreviewStream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RemoteApi.h ${CMAKE_CURRENT_LIST_DIR}/RemoteApi.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ByteRange.h ${CMAKE_CURRENT_LIST_DIR}/ByteRange.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileResponse.h ${CMAKE_CURRENT_LIST_DIR}/FileResponse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StudioApi.h ${CMAKE_CURRENT_LIST_DIR}/StudioApi.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RemoteControlServer.h ${CMAKE_CURRENT_LIST_DIR}/RemoteControlServer.cpp
)
if(WIN32)
  target_link_libraries(vireon_core PUBLIC unofficial::nayuki-qr-code-generator::nayuki-qr-code-generator)
else()
  target_link_libraries(vireon_core PUBLIC PkgConfig::QRCODEGEN)
endif()

qt_add_resources(vireon_core remote_page
  PREFIX "/remote"
  BASE ${CMAKE_CURRENT_LIST_DIR}
  FILES ${CMAKE_CURRENT_LIST_DIR}/remote.html ${CMAKE_CURRENT_LIST_DIR}/remote.css ${CMAKE_CURRENT_LIST_DIR}/remote.js
)
