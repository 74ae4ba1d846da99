# Noise events: the detector's cost per slow sample (the budget is 1 µs).
add_executable(bench_events ${CMAKE_CURRENT_LIST_DIR}/bench_events.cpp)
target_link_libraries(bench_events PRIVATE kestro_statistics benchmark::benchmark)
