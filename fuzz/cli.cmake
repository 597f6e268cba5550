# The orlix tool's own decoding: strict base64, chunked character-set conversion, DES padding.
# The tool's sources (all but its main) are compiled into each target, which calls the
# subcommand's entry point with standard input and output in memory.
if(ORLIX_BUILD_CLI)
    set(_cli ${PROJECT_SOURCE_DIR}/src/cli)
    set(_cli_sources ${_cli}/common.cpp ${_cli}/digest.cpp ${_cli}/base64.cpp ${_cli}/conv.cpp
        ${_cli}/des.cpp)
    foreach(cmd base64 conv des)
        orlix_add_fuzzer(fuzz_cli_${cmd} SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_${cmd}.cpp
            ${_cli_sources} MAX_LEN 2048)
        target_include_directories(fuzz_cli_${cmd} PRIVATE ${_cli})
    endforeach()
endif()
