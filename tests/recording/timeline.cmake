# Timeline export tests; whole documents are compared with the files in data/.
vireon_add_test(tst_timelineexport ${CMAKE_CURRENT_LIST_DIR}/tst_timelineexport.cpp)
target_compile_definitions(tst_timelineexport PRIVATE
  VIREON_TIMELINE_DATA_DIR="${CMAKE_CURRENT_LIST_DIR}/data")
# The cut journal and the takes rebuilt from it.
vireon_add_test(tst_cutjournal ${CMAKE_CURRENT_LIST_DIR}/tst_cutjournal.cpp)
