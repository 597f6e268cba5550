# Utils throughput against what a user would otherwise call: OpenSSL's libcrypto (MD5,
# SHA-1, DES-EDE3-CBC, base64), zlib (CRC-32) and the C library's iconv (GBK to UTF-8).
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
find_package(ZLIB REQUIRED)
orlix_add_bench(bench_utils SOURCES ${CMAKE_CURRENT_LIST_DIR}/utils.cpp
    LIBS OpenSSL::Crypto ZLIB::ZLIB)
