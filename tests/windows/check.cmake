# windows_layers_check: the checks of the Qt-free Windows layers, one plain C++ executable.
# Built natively in a Windows build of the program (tests/windows/CMakeLists.txt) and
# cross-compiled with mingw-w64 on Linux (tests/windows/cross), where Wine runs it.
# Needs the target vireon_windows and the variable VIREON_SOURCE_ROOT.
add_executable(windows_layers_check
  ${CMAKE_CURRENT_LIST_DIR}/Check.h
  ${CMAKE_CURRENT_LIST_DIR}/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FakeComObjects.h
  ${CMAKE_CURRENT_LIST_DIR}/FakeDxgi.h
  ${CMAKE_CURRENT_LIST_DIR}/tst_directshowformats.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tst_samplegrabbercallback.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tst_systemlayers.cpp
  # The conversion every camera layer feeds; plain C++, compiled here without the Qt library.
  ${VIREON_SOURCE_ROOT}/src/capture/FrameConversion.cpp
)
target_include_directories(windows_layers_check PRIVATE ${VIREON_SOURCE_ROOT}/src ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(windows_layers_check PRIVATE vireon_windows)
if(MINGW)
  # One self-contained .exe: no mingw runtime DLLs to find under Wine or on a bare Windows.
  target_link_options(windows_layers_check PRIVATE -static)
endif()
