# Receive path throughput and allocations per line.
add_executable(bench_protocol ${CMAKE_CURRENT_LIST_DIR}/bench_protocol.cpp)
target_link_libraries(bench_protocol PRIVATE kestro_protocol kestro_test_clock benchmark::benchmark)
