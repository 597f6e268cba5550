# CTime conversions, text and the monotonic clock against the C library.
orlix_add_bench(bench_time SOURCES ${CMAKE_CURRENT_LIST_DIR}/time_bench.cpp)
