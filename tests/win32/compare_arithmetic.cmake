# Runs the host's arithmetic_digest on the module, then the Win32 test program's check
# under Wine with that digest to compare against.
#
#     cmake -DHOST=... -DMODULE=... -DPROGRAM=... -DRUNNER=with-xvfb.sh -DWINE=wine.sh -P compare_arithmetic.cmake
if(NOT EXISTS "${HOST}")
    message(FATAL_ERROR "The host's arithmetic_digest is not at ${HOST}: build the host tree first "
                        "(make native), or point THOUSAND_ARITHMETIC_DIGEST at it.")
endif()
execute_process(COMMAND "${HOST}" "${MODULE}"
                OUTPUT_VARIABLE digest
                RESULT_VARIABLE status
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${HOST} ${MODULE} failed: ${status}")
endif()
message(STATUS "host: ${digest}")

set(ENV{THOUSAND_HOST_DIGEST} "${digest}")
execute_process(COMMAND "${RUNNER}" "${WINE}" "${PROGRAM}" --gtest_filter=HostArithmetic.*
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "The Win32 build's digest differs from the host's, or its test failed (${status}).")
endif()
