# Recording: hand-off batches, line formatting, graph redraws; a week of one
# series, a long outage and the evidence trail (bench programs that print their
# figures).
add_executable(bench_recording ${CMAKE_CURRENT_LIST_DIR}/bench_recording.cpp)
target_link_libraries(bench_recording PRIVATE kestro_ui_recording kestro_test_clock benchmark::benchmark)
foreach(b bench_week bench_outage bench_evidence)
  add_executable(${b} ${CMAKE_CURRENT_LIST_DIR}/${b}.cpp)
  target_link_libraries(${b} PRIVATE kestro_recording kestro_test_clock)
endforeach()
