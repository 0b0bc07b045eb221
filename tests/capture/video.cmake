# Video capture tests: pixel conversion, format lists, the V4L2 mapping, the test patterns and
# the source's picture hand-over.
vireon_add_test(tst_frameconversion ${CMAKE_CURRENT_LIST_DIR}/tst_frameconversion.cpp)
vireon_add_test(tst_cameraformat ${CMAKE_CURRENT_LIST_DIR}/tst_cameraformat.cpp)
if(NOT WIN32) # the DirectShow layer's checks are in tests/windows
  vireon_add_test(tst_v4l2mapping ${CMAKE_CURRENT_LIST_DIR}/tst_v4l2mapping.cpp)
endif()
vireon_add_test(tst_testpattern ${CMAKE_CURRENT_LIST_DIR}/tst_testpattern.cpp)
vireon_add_test(tst_cameracapture ${CMAKE_CURRENT_LIST_DIR}/tst_cameracapture.cpp)
if(TARGET vireon_v4l2sim)
  # The V4L2 layer end to end against simulated cameras.
  vireon_add_test(tst_v4l2capture ${CMAKE_CURRENT_LIST_DIR}/tst_v4l2capture.cpp)
  target_link_libraries(tst_v4l2capture PRIVATE vireon_v4l2sim)
endif()
