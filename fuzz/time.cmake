# CTime text: the lenient parser, and the picture language of setFormatString + format.
orlix_add_fuzzer(fuzz_time_parse SOURCES ${CMAKE_CURRENT_LIST_DIR}/time_parse.cpp)
orlix_add_fuzzer(fuzz_time_format SOURCES ${CMAKE_CURRENT_LIST_DIR}/time_format.cpp)
