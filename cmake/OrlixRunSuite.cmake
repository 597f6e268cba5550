# Runs every case of one GoogleTest executable, each in a process of its own, and reports
# them as one ctest entry: the Windows build's way of running a suite under Wine, where
# registering one ctest entry per case would start a Wine session per case. Each case still
# gets a fresh process, as on Linux (the suites rely on it: one-shot process state such as
# the packet manager's policy or the print level is never reset between cases); with Wine's
# server kept warm by the run, a process start costs tens of milliseconds.
#
#   cmake -DEXE=<program> [-DEMULATOR=<wine>] -DSKIPS=<file> -DSUMMARY=<file> -P OrlixRunSuite.cmake
#
# SKIPS lists cases left out ("Suite.Case  reason" per line). SUMMARY receives one line per
# case: "passed <name>", "failed <name>", "skipped <name>" (GTEST_SKIP) or
# "excluded <name> <reason>" (listed in SKIPS). Exits non-zero when a case failed.
set(emulator "")
if(EMULATOR)
    set(emulator ${EMULATOR})
endif()
execute_process(COMMAND ${emulator} "${EXE}" --gtest_list_tests
    OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE rc TIMEOUT 120)
get_filename_component(exe_name "${EXE}" NAME_WE)
if(NOT rc EQUAL 0)
    file(WRITE "${SUMMARY}" "failed ${exe_name}.LISTING\n")
    message(FATAL_ERROR "${exe_name}: listing the cases failed (${rc}): ${errors}")
endif()

set(reasons "")
if(EXISTS "${SKIPS}")
    file(STRINGS "${SKIPS}" skip_lines REGEX "^[A-Za-z]")
    foreach(line IN LISTS skip_lines)
        if(line MATCHES "^([^ \t]+)[ \t]+(.*)$")
            set(reason_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
        endif()
    endforeach()
endif()

string(REPLACE "\r" "" listing "${listing}") # a Windows program's lines end in CR LF
string(REGEX REPLACE " +#[^\n]*" "" listing "${listing}")
string(REPLACE ";" "" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(names "")
set(suite "")
foreach(line IN LISTS lines)
    if(line MATCHES "^  +([^ ]+)$")
        set(case "${CMAKE_MATCH_1}")
        if(NOT suite STREQUAL "" AND NOT case MATCHES "^DISABLED_")
            list(APPEND names "${suite}.${case}")
        endif()
    elseif(line MATCHES "^([^ ]+)\\.$")
        set(suite "${CMAKE_MATCH_1}")
        if(suite MATCHES "(^|/)DISABLED_")
            set(suite "")
        endif()
    else()
        set(suite "")
    endif()
endforeach()

set(summary "")
set(failures 0)
set(counts_passed 0)
set(counts_skipped 0)
set(counts_excluded 0)
foreach(name IN LISTS names)
    if(DEFINED reason_${name})
        string(APPEND summary "excluded ${name} ${reason_${name}}\n")
        math(EXPR counts_excluded "${counts_excluded} + 1")
        continue()
    endif()
    execute_process(COMMAND ${emulator} "${EXE}" "--gtest_filter=${name}"
        OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 300)
    if(rc EQUAL 0 AND out MATCHES "\\[  SKIPPED \\] 1 test")
        string(APPEND summary "skipped ${name}\n")
        math(EXPR counts_skipped "${counts_skipped} + 1")
    elseif(rc EQUAL 0 AND out MATCHES "\\[  PASSED  \\] 1 test")
        string(APPEND summary "passed ${name}\n")
        math(EXPR counts_passed "${counts_passed} + 1")
    else()
        string(APPEND summary "failed ${name}\n")
        math(EXPR failures "${failures} + 1")
        message("---- ${name} (exit ${rc})\n${out}${err}")
    endif()
endforeach()
file(WRITE "${SUMMARY}" "${summary}")
message("${exe_name}: ${counts_passed} passed, ${failures} failed, ${counts_skipped} skipped, "
        "${counts_excluded} excluded")
if(failures GREATER 0)
    message(FATAL_ERROR "${exe_name}: ${failures} case(s) failed")
endif()
