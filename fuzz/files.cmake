# Directory search with wildcard patterns, and the prefix match of file-system hooks.
orlix_add_fuzzer(fuzz_filefind SOURCES ${CMAKE_CURRENT_LIST_DIR}/files_find.cpp MAX_LEN 256)
# The hook is the tests' StubFs (tests/files/memfs.h) with a directory search of its own.
target_include_directories(fuzz_filefind PRIVATE ${PROJECT_SOURCE_DIR}/tests)
