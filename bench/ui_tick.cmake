# Cost of one poll tick of the main window: every item changed, and idle.
add_executable(bench_tick ${CMAKE_CURRENT_LIST_DIR}/bench_tick.cpp)
target_link_libraries(bench_tick PRIVATE kestro_ui kestro_test_doubles benchmark::benchmark Qt6::Widgets)
