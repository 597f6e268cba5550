# Base64 and code page 936 throughput: every Orlix implementation usable on the machine,
# beside OpenSSL and Abseil (base64), the C library's iconv and ICU (code page 936), and
# memcpy as the ceiling. Abseil and ICU are optional: their cases are left out when the
# packages (libabsl-dev, libicu-dev) are not installed.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
find_package(ICU QUIET COMPONENTS uc)
find_package(absl CONFIG QUIET)
set(_orlix_codec_text_libs OpenSSL::Crypto)
set(_orlix_codec_text_defs)
if(ICU_FOUND)
    list(APPEND _orlix_codec_text_libs ICU::uc)
    list(APPEND _orlix_codec_text_defs ORLIX_BENCH_ICU)
endif()
if(absl_FOUND)
    list(APPEND _orlix_codec_text_libs absl::strings)
    list(APPEND _orlix_codec_text_defs ORLIX_BENCH_ABSL)
endif()
orlix_add_bench(bench_codec_text SOURCES ${CMAKE_CURRENT_LIST_DIR}/codec_text_bench.cpp
    LIBS ${_orlix_codec_text_libs})
target_compile_definitions(bench_codec_text PRIVATE ${_orlix_codec_text_defs})
