# Settings of a Windows build (MSVC or MinGW), included by the top-level CMakeLists.txt before
# the dependencies are looked up. The dependencies come from vcpkg (vcpkg.json); SDL2 and
# FFmpeg are found through their pkg-config files as on Linux, with vcpkg's pkgconf.

# vcpkg installs pkgconf as a host tool of the manifest; use it unless one was given.
if(NOT PKG_CONFIG_EXECUTABLE AND DEFINED VCPKG_INSTALLED_DIR AND DEFINED VCPKG_HOST_TRIPLET)
  find_program(PKG_CONFIG_EXECUTABLE NAMES pkgconf pkg-config
    HINTS "${VCPKG_INSTALLED_DIR}/${VCPKG_HOST_TRIPLET}/tools/pkgconf"
    NO_DEFAULT_PATH)
endif()

# main() is the program's own: SDL must not rename it to SDL_main.
add_compile_definitions(SDL_MAIN_HANDLED)
# windows.h must not define min() and max() over std::min and std::max.
add_compile_definitions(NOMINMAX)

if(MSVC)
  # The sources are UTF-8; __cplusplus tells the real standard (Qt checks it).
  add_compile_options(/utf-8 /Zc:__cplusplus /permissive-)
endif()
