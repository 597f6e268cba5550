# Directory search with wildcard patterns, and the prefix match of file-system hooks.
orlix_add_fuzzer(fuzz_filefind SOURCES ${CMAKE_CURRENT_LIST_DIR}/files_find.cpp MAX_LEN 256)
