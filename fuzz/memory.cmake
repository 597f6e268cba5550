# Memory: the packet manager's buddy pool with packets, the fixed-size pool, the buffer.
orlix_add_fuzzer(fuzz_packet_pool SOURCES ${CMAKE_CURRENT_LIST_DIR}/memory_packet.cpp MAX_LEN 1024)
orlix_add_fuzzer(fuzz_mempool SOURCES ${CMAKE_CURRENT_LIST_DIR}/memory_mempool.cpp MAX_LEN 512)
orlix_add_fuzzer(fuzz_buffer SOURCES ${CMAKE_CURRENT_LIST_DIR}/memory_buffer.cpp MAX_LEN 1024)
