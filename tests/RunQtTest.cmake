# Runs the QtTest program PROGRAM with its settings folders in HOME, emptied first, so that it
# starts as on a fresh machine whatever ran before it. With KALVOR_TEST_ORDER=reverse in the
# environment its test functions run in reverse order: a function that depends on what an
# earlier one left behind then fails here instead of on a user's machine.
#   cmake -DPROGRAM=path -DHOME=folder -P RunQtTest.cmake

include(${CMAKE_CURRENT_LIST_DIR}/TestHome.cmake)
file(REMOVE_RECURSE "${HOME}")
kalvor_use_test_home("${HOME}")

set(functions)
if("$ENV{KALVOR_TEST_ORDER}" STREQUAL "reverse")
    execute_process(COMMAND "${PROGRAM}" -functions OUTPUT_VARIABLE listing RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${PROGRAM} -functions failed (${status})")
    endif()
    string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*\\(\\)" functions "${listing}")
    list(TRANSFORM functions REPLACE "\\(\\)$" "")
    list(REVERSE functions)
    list(LENGTH functions count)
    message(STATUS "${count} test functions in reverse order")
endif()

execute_process(COMMAND "${PROGRAM}" ${functions} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} failed (${status})")
endif()
