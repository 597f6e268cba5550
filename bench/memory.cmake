# Memory benchmarks. The allocator comparison links jemalloc (Debian: libjemalloc-dev) and
# mimalloc (libmimalloc-dev) when they are found; scripts/bench.sh installs both. Either may
# then serve malloc() for that whole program, so the glibc allocator is reached through its
# own entry points there and each peer through its own prefixed API. A peer that is missing
# is left out of the comparison.
set(_orlix_alloc_libs)
set(_orlix_alloc_includes)
set(_orlix_alloc_defs)
find_library(ORLIX_JEMALLOC_LIBRARY NAMES jemalloc)
find_path(ORLIX_JEMALLOC_INCLUDE NAMES jemalloc/jemalloc.h)
if(ORLIX_JEMALLOC_LIBRARY AND ORLIX_JEMALLOC_INCLUDE)
    list(APPEND _orlix_alloc_libs ${ORLIX_JEMALLOC_LIBRARY})
    list(APPEND _orlix_alloc_includes ${ORLIX_JEMALLOC_INCLUDE})
    list(APPEND _orlix_alloc_defs ORLIX_BENCH_JEMALLOC)
else()
    message(STATUS "Orlix: jemalloc not found; bench_memory_alloc leaves it out")
endif()
find_library(ORLIX_MIMALLOC_LIBRARY NAMES mimalloc)
find_path(ORLIX_MIMALLOC_INCLUDE NAMES mimalloc.h)
if(ORLIX_MIMALLOC_LIBRARY AND ORLIX_MIMALLOC_INCLUDE)
    list(APPEND _orlix_alloc_libs ${ORLIX_MIMALLOC_LIBRARY})
    list(APPEND _orlix_alloc_includes ${ORLIX_MIMALLOC_INCLUDE})
    list(APPEND _orlix_alloc_defs ORLIX_BENCH_MIMALLOC)
else()
    message(STATUS "Orlix: mimalloc not found; bench_memory_alloc leaves it out")
endif()
orlix_add_bench(bench_memory_alloc SOURCES ${CMAKE_CURRENT_LIST_DIR}/memory_alloc_bench.cpp
    LIBS ${_orlix_alloc_libs})
target_include_directories(bench_memory_alloc PRIVATE ${_orlix_alloc_includes})
target_compile_definitions(bench_memory_alloc PRIVATE ${_orlix_alloc_defs})
orlix_add_bench(bench_memory_objects SOURCES ${CMAKE_CURRENT_LIST_DIR}/memory_objects_bench.cpp)
