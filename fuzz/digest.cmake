# Digests and checksums: streamed against one-shot and against the bitwise CRC definitions.
orlix_add_fuzzer(fuzz_digest SOURCES ${CMAKE_CURRENT_LIST_DIR}/utils_digest.cpp MAX_LEN 1024)
