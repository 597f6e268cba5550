# Warning set shared by every target of the tree. CI builds with ORLIX_WERROR=ON.
function(orlix_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(ORLIX_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
