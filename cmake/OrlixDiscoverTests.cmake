# Registers every test of a GoogleTest executable as its own ctest entry, named exactly as
# GoogleTest names it ("Suite.Test", "Suite/Named.Test", "Values/Suite.Test/Named"), which
# is also the --gtest_filter that runs it alone. Type and value comments of the listing are
# dropped, so a typed suite's entry does not carry its whole template argument.
#
# Included by the ctest file that tests/CMakeLists.txt generates for each test executable;
# runs inside ctest, before the tests, whenever the executable is newer than its list.

# orlix_discover_tests_impl(<executable> <working dir> <properties> <output file> [<emulator>])
#   Writes <output file>: one add_test and one set_tests_properties per test, <properties>
#   (a key;value;... list) applied to each, a test whose output says "[  SKIPPED ]" counted as
#   skipped, a DISABLED_ test registered disabled. <emulator> (a command and its arguments,
#   as a list) runs the executable, for the listing and for every test: a cross build's.
function(orlix_discover_tests_impl executable workdir properties output)
    set(emulator "${ARGV4}")
    set(launcher "")
    foreach(item IN LISTS emulator)
        string(APPEND launcher "[==[${item}]==] ")
    endforeach()
    execute_process(COMMAND ${emulator} "${executable}" --gtest_list_tests
        WORKING_DIRECTORY "${workdir}"
        TIMEOUT 60
        OUTPUT_VARIABLE listing
        ERROR_VARIABLE errors
        RESULT_VARIABLE rc)
    get_filename_component(exe_name "${executable}" NAME)
    if(NOT rc EQUAL 0)
        # A listing that fails is a failing test, shown with the rest, not a silent gap.
        file(WRITE "${output}"
            "add_test([==[${exe_name}.LISTING_FAILED]==] ${launcher}[==[${executable}]==] --gtest_list_tests)\n")
        return()
    endif()

    set(props "")
    foreach(item IN LISTS properties)
        string(APPEND props " [==[${item}]==]")
    endforeach()

    # "  # TypeParam = ..." and "  # GetParam() = ..." may hold anything, brackets and
    # semicolons included: they go before the listing is split into lines.
    string(REGEX REPLACE " +#[^\n]*" "" listing "${listing}")
    string(REPLACE ";" "" listing "${listing}")
    string(REPLACE "\n" ";" lines "${listing}")

    set(script "")
    set(suite "")
    foreach(line IN LISTS lines)
        if(line MATCHES "^  +([^ ]+)$")
            if(suite STREQUAL "")
                continue()
            endif()
            set(name "${suite}.${CMAKE_MATCH_1}")
            string(APPEND script
                "add_test([==[${name}]==] ${launcher}[==[${executable}]==] [==[--gtest_filter=${name}]==]"
                " --gtest_also_run_disabled_tests)\n"
                "set_tests_properties([==[${name}]==] PROPERTIES WORKING_DIRECTORY [==[${workdir}]==]"
                " SKIP_REGULAR_EXPRESSION [==[\\[  SKIPPED \\]]==]${props})\n")
            if(name MATCHES "(^|[./])DISABLED_")
                string(APPEND script "set_tests_properties([==[${name}]==] PROPERTIES DISABLED TRUE)\n")
            endif()
        elseif(line MATCHES "^([^ ]+)\\.$")
            set(suite "${CMAKE_MATCH_1}")
        else()
            set(suite "") # a line the program printed before its listing
        endif()
    endforeach()
    file(WRITE "${output}" "${script}")
endfunction()
