# The interface's preview cost: four built-in 1080p30 cameras shown by Main.qml offscreen,
# against the same process without any QML (--headless); optionally during a take (--record).
add_executable(bench_ui ${CMAKE_CURRENT_LIST_DIR}/bench_ui.cpp)
target_link_libraries(bench_ui PRIVATE vireon_ui vireon_qml Qt6::Quick Qt6::QuickControls2)
set_target_properties(bench_ui PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
