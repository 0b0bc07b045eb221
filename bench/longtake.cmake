# The program's resident memory over a long take of the four built-in cameras.
add_executable(bench_longtake ${CMAKE_CURRENT_LIST_DIR}/bench_longtake.cpp)
target_link_libraries(bench_longtake PRIVATE Qt6::Core)
set_target_properties(bench_longtake PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(bench_longtake vireon)
