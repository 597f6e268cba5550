# Fuzz targets of the Utils decoders and converters. Every target keeps each output in a heap
# block of exactly the size the function's contract allows, so AddressSanitizer reports any
# write (or read) past it, and checks the results the contract promises.
orlix_add_fuzzer(fuzz_base64 SOURCES ${CMAKE_CURRENT_LIST_DIR}/utils_base64.cpp)
orlix_add_fuzzer(fuzz_charset SOURCES ${CMAKE_CURRENT_LIST_DIR}/utils_charset.cpp)
orlix_add_fuzzer(fuzz_stringtoip SOURCES ${CMAKE_CURRENT_LIST_DIR}/utils_stringtoip.cpp
    MAX_LEN 64)
orlix_add_fuzzer(fuzz_tripledes SOURCES ${CMAKE_CURRENT_LIST_DIR}/utils_tripledes.cpp)
