# Hardware detection of vireon_core: graphics adapters (libpci on Linux, DXGI on Windows), the
# hardware report and encoder list, the devices report, the benchmark's run and its decision.
target_sources(vireon_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/GpuAdapters.h
  ${CMAKE_CURRENT_LIST_DIR}/HardwareReport.h ${CMAKE_CURRENT_LIST_DIR}/HardwareReport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DevicesReport.h ${CMAKE_CURRENT_LIST_DIR}/DevicesReport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EncoderBenchmark.h ${CMAKE_CURRENT_LIST_DIR}/EncoderBenchmark.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EncoderBenchmarkRun.h ${CMAKE_CURRENT_LIST_DIR}/EncoderBenchmarkRun.cpp
)
if(WIN32)
  target_sources(vireon_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/GpuAdaptersDxgi.cpp)
else()
  # GLOBAL: the imported target is linked to vireon_core, which other directories link in turn.
  pkg_check_modules(LIBPCI REQUIRED IMPORTED_TARGET GLOBAL libpci)
  target_sources(vireon_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/GpuAdapters.cpp)
  target_link_libraries(vireon_core PUBLIC PkgConfig::LIBPCI)
endif()
