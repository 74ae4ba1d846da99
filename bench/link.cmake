# The serial port's read hold-off: wake-ups, CPU and line delay at the line rate.
add_executable(bench_serial ${CMAKE_CURRENT_LIST_DIR}/bench_serial.cpp)
target_link_libraries(bench_serial PRIVATE kestro_link util)
