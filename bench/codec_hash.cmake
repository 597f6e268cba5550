# Checksum and digest throughput: every CRC-32, CRC-16 and SHA-1 implementation of the library
# (each forced through the internal tables) beside isa-l, libdeflate, zlib and OpenSSL's
# libcrypto, with memcpy as the ceiling. isa-l and libdeflate are optional: a missing one
# drops its lines.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
find_package(ZLIB REQUIRED)
orlix_add_bench(bench_codec_hash SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_hash_bench.cpp
    LIBS OpenSSL::Crypto ZLIB::ZLIB)

find_path(ORLIX_ISAL_INCLUDE_DIR isa-l/crc.h)
find_library(ORLIX_ISAL_LIBRARY isal)
if(ORLIX_ISAL_INCLUDE_DIR AND ORLIX_ISAL_LIBRARY)
    target_include_directories(bench_codec_hash PRIVATE ${ORLIX_ISAL_INCLUDE_DIR})
    target_link_libraries(bench_codec_hash PRIVATE ${ORLIX_ISAL_LIBRARY})
    target_compile_definitions(bench_codec_hash PRIVATE ORLIX_BENCH_ISAL)
else()
    message(STATUS "bench_codec_hash: isa-l not found, its lines are skipped")
endif()

find_path(ORLIX_LIBDEFLATE_INCLUDE_DIR libdeflate.h)
find_library(ORLIX_LIBDEFLATE_LIBRARY deflate)
if(ORLIX_LIBDEFLATE_INCLUDE_DIR AND ORLIX_LIBDEFLATE_LIBRARY)
    target_include_directories(bench_codec_hash PRIVATE ${ORLIX_LIBDEFLATE_INCLUDE_DIR})
    target_link_libraries(bench_codec_hash PRIVATE ${ORLIX_LIBDEFLATE_LIBRARY})
    target_compile_definitions(bench_codec_hash PRIVATE ORLIX_BENCH_LIBDEFLATE)
else()
    message(STATUS "bench_codec_hash: libdeflate not found, its lines are skipped")
endif()
