# Threads and timers against std::thread, Boost.Asio's steady_timer (header-only, from
# libboost-dev) and a std::multimap of due times.
find_package(Boost 1.66 CONFIG QUIET)
if(Boost_FOUND)
    orlix_add_bench(bench_threads SOURCES ${CMAKE_CURRENT_LIST_DIR}/threads_bench.cpp
        LIBS Boost::headers)
    target_compile_definitions(bench_threads PRIVATE ORLIX_BENCH_WITH_ASIO=1)
else()
    message(STATUS "Orlix: Boost headers not found, bench_threads runs without Boost.Asio")
    orlix_add_bench(bench_threads SOURCES ${CMAKE_CURRENT_LIST_DIR}/threads_bench.cpp)
endif()
