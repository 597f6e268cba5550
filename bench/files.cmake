orlix_add_bench(bench_files SOURCES ${CMAKE_CURRENT_LIST_DIR}/files_bench.cpp)
