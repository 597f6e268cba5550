# Command-line splitting used by systemCall.
orlix_add_fuzzer(fuzz_command_line SOURCES ${CMAKE_CURRENT_LIST_DIR}/command_line_fuzz.cpp)
