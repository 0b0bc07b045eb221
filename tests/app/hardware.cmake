# Hardware detection tests: the adapter listing over libpci, the hardware report and encoder
# list, the devices report and the benchmark's decision.
if(NOT WIN32) # the DXGI listing's checks are in tests/windows
  vireon_add_test(tst_gpuadapters ${CMAKE_CURRENT_LIST_DIR}/tst_gpuadapters.cpp)
endif()
vireon_add_test(tst_hardwarereport ${CMAKE_CURRENT_LIST_DIR}/tst_hardwarereport.cpp)
vireon_add_test(tst_devicesreport ${CMAKE_CURRENT_LIST_DIR}/tst_devicesreport.cpp)
vireon_add_test(tst_encoderbenchmark ${CMAKE_CURRENT_LIST_DIR}/tst_encoderbenchmark.cpp)
