# Statistics: a record file generator for bench/stats_vs_pandas.sh.
add_executable(make_record_file ${CMAKE_CURRENT_LIST_DIR}/make_record_file.cpp)
