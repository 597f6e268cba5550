# Memory benchmarks. The allocator comparison links jemalloc (Debian: libjemalloc-dev, which
# scripts/bench.sh installs); jemalloc then serves malloc() for that whole program, so the
# glibc allocator is reached through its own entry points there. Without jemalloc the
# program measures the pool against glibc only.
find_library(ORLIX_JEMALLOC_LIBRARY NAMES jemalloc)
find_path(ORLIX_JEMALLOC_INCLUDE NAMES jemalloc/jemalloc.h)
if(ORLIX_JEMALLOC_LIBRARY AND ORLIX_JEMALLOC_INCLUDE)
    orlix_add_bench(bench_memory_alloc SOURCES ${CMAKE_CURRENT_LIST_DIR}/memory_alloc_bench.cpp
        LIBS ${ORLIX_JEMALLOC_LIBRARY})
    target_include_directories(bench_memory_alloc PRIVATE ${ORLIX_JEMALLOC_INCLUDE})
    target_compile_definitions(bench_memory_alloc PRIVATE ORLIX_BENCH_JEMALLOC)
else()
    message(STATUS "Orlix: jemalloc not found; bench_memory_alloc compares with glibc only")
    orlix_add_bench(bench_memory_alloc SOURCES ${CMAKE_CURRENT_LIST_DIR}/memory_alloc_bench.cpp)
endif()
orlix_add_bench(bench_memory_objects SOURCES ${CMAKE_CURRENT_LIST_DIR}/memory_objects_bench.cpp)
