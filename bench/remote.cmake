# Downloads from the station's web server against its poll thread (prints its figures).
add_executable(bench_download ${CMAKE_CURRENT_LIST_DIR}/bench_download.cpp)
target_link_libraries(bench_download PRIVATE kestro_remote Threads::Threads)
