# ORLIX_SANITIZE=address,undefined or ORLIX_SANITIZE=thread instruments the whole tree:
# the library, the tests, the examples and the fuzz targets.
if(ORLIX_SANITIZE)
    set(_orlix_san_flags -fsanitize=${ORLIX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_compile_options(${_orlix_san_flags})
    add_link_options(-fsanitize=${ORLIX_SANITIZE})
    message(STATUS "Orlix: sanitizers ${ORLIX_SANITIZE}")
endif()
