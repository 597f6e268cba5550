# Printing to the log file and to a sink, against spdlog's synchronous sinks (libspdlog-dev).
find_package(spdlog REQUIRED)
orlix_add_bench(bench_logfilter
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/logfilter_bench.cpp
    LIBS spdlog::spdlog)
