orlix_add_bench(bench_component SOURCES ${CMAKE_CURRENT_LIST_DIR}/component_bench.cpp)
