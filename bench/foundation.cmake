orlix_add_bench(bench_foundation SOURCES ${CMAKE_CURRENT_LIST_DIR}/foundation_bench.cpp)
