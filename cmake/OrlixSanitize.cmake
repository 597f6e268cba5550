# ORLIX_SANITIZE=address,undefined or ORLIX_SANITIZE=thread instruments the whole tree:
# the library, the tests, the examples and the fuzz targets.
if(ORLIX_SANITIZE)
    set(_orlix_san_flags -fsanitize=${ORLIX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_compile_options(${_orlix_san_flags})
    add_link_options(-fsanitize=${ORLIX_SANITIZE})
    message(STATUS "Orlix: sanitizers ${ORLIX_SANITIZE}")
endif()

# Under ThreadSanitizer every registered test reads the tree's suppression file (reports that
# are artefacts of the sanitizer, each explained there). It is appended to whatever
# TSAN_OPTIONS the caller set, so options such as halt_on_error=1 still apply.
set(ORLIX_TEST_ENVIRONMENT "")
if(ORLIX_SANITIZE MATCHES "thread")
    set(ORLIX_TEST_ENVIRONMENT
        "TSAN_OPTIONS=string_append::suppressions=${PROJECT_SOURCE_DIR}/tests/tsan_suppressions.txt")
endif()
