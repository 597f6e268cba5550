# Bounded string helpers and the hexadecimal dump.
orlix_add_fuzzer(fuzz_strutil SOURCES ${CMAKE_CURRENT_LIST_DIR}/utils_strutil.cpp MAX_LEN 256)
orlix_add_fuzzer(fuzz_dumphex SOURCES ${CMAKE_CURRENT_LIST_DIR}/utils_dumphex.cpp MAX_LEN 2048)
