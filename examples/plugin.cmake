# The tour's plugin: a sensor driver in its own shared library, libThermoDriver.so, built next
# to the tour program. The registry opens it by name through the system's library search, so
# the tour carries its own directory in its run path. The library that calls dlopen
# (liborlix.so) has no run path of its own, so the loader consults the program's; that works
# only for an old-style DT_RPATH, hence --disable-new-dtags.
add_library(ThermoDriver MODULE ${CMAKE_CURRENT_LIST_DIR}/plugin/thermodriver.cpp)
target_link_libraries(ThermoDriver PRIVATE Orlix::orlix)
orlix_set_warnings(ThermoDriver)
add_dependencies(tour ThermoDriver)
target_include_directories(tour PRIVATE ${CMAKE_CURRENT_LIST_DIR}/plugin)
if(WIN32)
    # ThermoDriver.dll beside tour.exe: the program's directory is searched first.
    set_target_properties(ThermoDriver PROPERTIES
        PREFIX "" SUFFIX ".dll" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
else()
    set_target_properties(ThermoDriver PROPERTIES
        PREFIX "lib" SUFFIX ".so"
        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_property(TARGET tour APPEND PROPERTY BUILD_RPATH "\$ORIGIN")
    target_link_options(tour PRIVATE -Wl,--disable-new-dtags)
endif()
