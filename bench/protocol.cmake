# Receive path throughput and allocations per line.
if(TARGET kestro_protocol)
  add_executable(bench_protocol ${CMAKE_CURRENT_LIST_DIR}/bench_protocol.cpp)
  target_link_libraries(bench_protocol PRIVATE kestro_protocol benchmark::benchmark)
endif()
