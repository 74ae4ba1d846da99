# Recording: hand-off batches, line formatting, graph redraws, memory per sample.
if(TARGET kestro_ui_recording)
  add_executable(bench_recording ${CMAKE_CURRENT_LIST_DIR}/bench_recording.cpp)
  target_link_libraries(bench_recording PRIVATE kestro_ui_recording benchmark::benchmark)
endif()
