# Cross-compiling for Windows x86-64 with mingw-w64 (Debian: g++-mingw-w64-x86-64).
# Used by tests/windows/cross-check.sh for the Qt-free Windows layers; the whole program is
# built on Windows itself (README, "Building on Windows").
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VIREON_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VIREON_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${VIREON_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${VIREON_MINGW_PREFIX}-windres)

# Headers and libraries from the mingw-w64 tree only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VIREON_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
