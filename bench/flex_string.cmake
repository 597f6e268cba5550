# flex_string against std::string: short-string construction and copy, appends to ~100 chars.
orlix_add_bench(bench_flex_string SOURCES ${CMAKE_CURRENT_LIST_DIR}/flex_string_bench.cpp)
