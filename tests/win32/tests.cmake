# The Win32 test program: what only Win32 can show (the window procedure, the window
# and its contexts, the system clock, the pointer) and that the 32-bit build computes
# as the host does, run under Wine on its own display.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${THOUSAND_GOOGLETEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Bitmaps of sizes that the program's own never have, made at build time (Python 3 was
# found with the tests' other needs).
set(THOUSAND_TEST_BITMAP_DIR ${CMAKE_BINARY_DIR}/test-bitmaps)
set(THOUSAND_TEST_BITMAPS)
foreach(name wide side255 side254 tiny)
    list(APPEND THOUSAND_TEST_BITMAPS ${THOUSAND_TEST_BITMAP_DIR}/${name}.bmp)
endforeach()
add_custom_command(OUTPUT ${THOUSAND_TEST_BITMAPS}
                   COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/make_test_bitmaps.py
                           ${THOUSAND_TEST_BITMAP_DIR}
                   DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make_test_bitmaps.py
                   COMMENT "Making the Win32 tests' bitmaps")
# The program's pictures, icon and soundtrack are among its resources too: a changed one
# must reach it.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/win32_tests.rc PROPERTIES
    OBJECT_DEPENDS "${THOUSAND_TEST_BITMAPS};${THOUSAND_RESOURCE_FILES}")

add_executable(win32_tests
    ${PROJECT_SOURCE_DIR}/assets/dib_picture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/arithmetic_digest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/arithmetic_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/instances.cpp
    ${CMAKE_CURRENT_LIST_DIR}/message_box_watcher.cpp
    ${CMAKE_CURRENT_LIST_DIR}/platform_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/render_window_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sound_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/texture_registry_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window_proc_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/win32_tests.rc
)
target_include_directories(win32_tests PRIVATE ${THOUSAND_TEST_BITMAP_DIR})
# The manifest's tests read the program's executable, named as Wine sees the host's files
# (its drive Z: is the root).
if(CMAKE_HOST_SYSTEM_NAME STREQUAL "Windows")
    set(THOUSAND_PROGRAM_PATH $<TARGET_FILE:thousand>)
else()
    set(THOUSAND_PROGRAM_PATH Z:$<TARGET_FILE:thousand>)
endif()
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/platform_test.cpp PROPERTIES
    COMPILE_DEFINITIONS THOUSAND_PROGRAM="${THOUSAND_PROGRAM_PATH}")
add_dependencies(win32_tests thousand)
target_link_libraries(win32_tests PRIVATE thousand_core GTest::gtest_main ${THOUSAND_STATIC_LINK})
thousand_warnings(win32_tests)
set_target_properties(win32_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The tests' windows are Wine's own, unmanaged: the test display has no window manager,
# and a managed window would wait two seconds for one each time it is hidden.
#
# Everything but the sound device's tests and the comparison with the host, with Wine's
# audio drivers switched off so that there is no device whatever the machine has: the
# silent show.
add_test(NAME win32.tests
         COMMAND ${PROJECT_SOURCE_DIR}/tools/with-xvfb.sh ${PROJECT_SOURCE_DIR}/tools/wine.sh
                 $<TARGET_FILE:win32_tests> --gtest_filter=-*WithDevice*:HostArithmetic.*)
set_tests_properties(win32.tests PROPERTIES
    TIMEOUT 300
    RESOURCE_LOCK thousand-wineprefix-tests
    ENVIRONMENT "THOUSAND_WINEPREFIX=${PROJECT_SOURCE_DIR}/build/wineprefix-tests;THOUSAND_WINE_UNMANAGED=1;WINEDLLOVERRIDES=mscoree,mshtml,winealsa.drv,winepulse.drv,wineoss.drv=")

# The sound device's tests, on an ALSA device that writes what it plays to a file: an
# ALSA configuration in a home of its own, and Wine on its ALSA driver alone.
set(THOUSAND_SOUND_HOME ${CMAKE_BINARY_DIR}/win32-sound-home)
file(MAKE_DIRECTORY ${THOUSAND_SOUND_HOME})
file(WRITE ${THOUSAND_SOUND_HOME}/.asoundrc
     "pcm.!default {\n    type file\n    slave.pcm \"null\"\n"
     "    file \"${CMAKE_BINARY_DIR}/win32-sound.wav\"\n    format \"wav\"\n}\n")
add_test(NAME win32.sound_device
         COMMAND ${PROJECT_SOURCE_DIR}/tools/with-xvfb.sh ${PROJECT_SOURCE_DIR}/tools/wine.sh
                 $<TARGET_FILE:win32_tests> --gtest_filter=*WithDevice*)
set_tests_properties(win32.sound_device PROPERTIES
    TIMEOUT 300
    RESOURCE_LOCK thousand-wineprefix-tests
    ENVIRONMENT "THOUSAND_WINEPREFIX=${PROJECT_SOURCE_DIR}/build/wineprefix-tests;THOUSAND_WINE_UNMANAGED=1;HOME=${THOUSAND_SOUND_HOME};WINEDLLOVERRIDES=mscoree,mshtml,winepulse.drv,wineoss.drv=")

# The water and the soundtrack computed here and on the host must give the same bits:
# the host tree's arithmetic_digest prints its digest, which the test program compares
# with its own.
set(THOUSAND_ARITHMETIC_DIGEST ${PROJECT_SOURCE_DIR}/build/native/bin/arithmetic_digest CACHE FILEPATH
    "The host tree's arithmetic_digest, whose results the Win32 arithmetic test compares with")
add_test(NAME win32.arithmetic
         COMMAND ${CMAKE_COMMAND} -DHOST=${THOUSAND_ARITHMETIC_DIGEST}
                 -DMODULE=${PROJECT_SOURCE_DIR}/resources/thousand.mod
                 -DPROGRAM=$<TARGET_FILE:win32_tests>
                 -DRUNNER=${PROJECT_SOURCE_DIR}/tools/with-xvfb.sh
                 -DWINE=${PROJECT_SOURCE_DIR}/tools/wine.sh
                 -P ${CMAKE_CURRENT_LIST_DIR}/compare_arithmetic.cmake)
set_tests_properties(win32.arithmetic PROPERTIES
    TIMEOUT 300
    RESOURCE_LOCK thousand-wineprefix-tests
    ENVIRONMENT "THOUSAND_WINEPREFIX=${PROJECT_SOURCE_DIR}/build/wineprefix-tests;THOUSAND_WINE_UNMANAGED=1;WINEDLLOVERRIDES=mscoree,mshtml,winealsa.drv,winepulse.drv,wineoss.drv=")

# The program alone, in a fresh folder of its own: it must configure and build with the
# tests off and what only they need out of reach.
add_test(NAME win32.program_alone
         COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DWORK=${CMAKE_BINARY_DIR}/program-alone
                 -DGOOGLETEST=${THOUSAND_GOOGLETEST_DIR} -P ${CMAKE_CURRENT_LIST_DIR}/program_alone.cmake)
set_tests_properties(win32.program_alone PROPERTIES TIMEOUT 300)
