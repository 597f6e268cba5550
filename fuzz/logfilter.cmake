orlix_add_fuzzer(fuzz_logfilter SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_logfilter.cpp)
