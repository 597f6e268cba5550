# Utils throughput against what a user would otherwise call: OpenSSL's libcrypto (MD5,
# SHA-1, DES-EDE3-CBC) and zlib (CRC-32). Base64 and code page 936 are in codec_text.cmake.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
find_package(ZLIB REQUIRED)
orlix_add_bench(bench_utils SOURCES ${CMAKE_CURRENT_LIST_DIR}/utils.cpp
    LIBS OpenSSL::Crypto ZLIB::ZLIB)
