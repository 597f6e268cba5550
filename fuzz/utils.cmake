# Fuzz targets of the Utils decoders and converters. Every target keeps each output in a heap
# block of exactly the size the function's contract allows, so AddressSanitizer reports any
# write (or read) past it, and checks the results the contract promises.
#
# The sources under test are compiled into each target as well: that way they carry
# libFuzzer's coverage instrumentation (the static library does not) and the fuzzer is
# guided by the library's branches, not only by the harness's. Their definitions take the
# place of the library's copies at link time.
set(_utils_src ${PROJECT_SOURCE_DIR}/src/utils)
orlix_add_fuzzer(fuzz_base64 SOURCES ${CMAKE_CURRENT_LIST_DIR}/utils_base64.cpp
    ${_utils_src}/base64.cpp)
orlix_add_fuzzer(fuzz_charset SOURCES ${CMAKE_CURRENT_LIST_DIR}/utils_charset.cpp
    ${_utils_src}/charset.cpp)
orlix_add_fuzzer(fuzz_stringtoip SOURCES ${CMAKE_CURRENT_LIST_DIR}/utils_stringtoip.cpp
    ${_utils_src}/strings.cpp)
orlix_add_fuzzer(fuzz_tripledes SOURCES ${CMAKE_CURRENT_LIST_DIR}/utils_tripledes.cpp
    ${_utils_src}/des.cpp ${_utils_src}/des_core.cpp)
