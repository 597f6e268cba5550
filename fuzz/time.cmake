# CTime text: the lenient parser, and the picture language of setFormatString + format; the
# legacy ::CTime pictures; version records' dates.
orlix_add_fuzzer(fuzz_time_parse SOURCES ${CMAKE_CURRENT_LIST_DIR}/time_parse.cpp MAX_LEN 256)
orlix_add_fuzzer(fuzz_time_format SOURCES ${CMAKE_CURRENT_LIST_DIR}/time_format.cpp MAX_LEN 256)
orlix_add_fuzzer(fuzz_legacy_time SOURCES ${CMAKE_CURRENT_LIST_DIR}/time_legacy.cpp MAX_LEN 256)
orlix_add_fuzzer(fuzz_version SOURCES ${CMAKE_CURRENT_LIST_DIR}/version.cpp MAX_LEN 256)
