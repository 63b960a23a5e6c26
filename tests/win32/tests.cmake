# The Win32 test program: what only Win32 can show (the window procedure, the window
# and its contexts, the system clock, the pointer), run under Wine on its own display.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_executable(win32_tests
    ${CMAKE_CURRENT_LIST_DIR}/instances.cpp
    ${CMAKE_CURRENT_LIST_DIR}/message_box_watcher.cpp
    ${CMAKE_CURRENT_LIST_DIR}/platform_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/render_window_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window_proc_test.cpp
)
target_link_libraries(win32_tests PRIVATE thousand_core GTest::gtest_main ${THOUSAND_STATIC_LINK})
thousand_warnings(win32_tests)
set_target_properties(win32_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

add_test(NAME win32.tests
         COMMAND ${PROJECT_SOURCE_DIR}/tools/with-xvfb.sh ${PROJECT_SOURCE_DIR}/tools/wine.sh
                 $<TARGET_FILE:win32_tests>)
set_tests_properties(win32.tests PROPERTIES
    TIMEOUT 300
    ENVIRONMENT "THOUSAND_WINEPREFIX=${PROJECT_SOURCE_DIR}/build/wineprefix-tests")
