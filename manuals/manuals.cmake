# The user manuals, copied beside the executable in the build tree, where the program reads
# them (AppPaths::manualPath). configure_file makes CMake re-run, and so re-copy, whenever a
# manual changes.
set(VIREON_MANUALS GETTING_STARTED_EN.md GETTING_STARTED_SR.md)
foreach(manual IN LISTS VIREON_MANUALS)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${manual} ${CMAKE_BINARY_DIR}/${manual} COPYONLY)
endforeach()
