# End-to-end tests: the real program under Wine on a private Xvfb display, driven from
# outside as a person would drive it (e2e.py), with a small Win32 helper for what only
# Win32 can see from inside Wine (winctl.cpp).
add_executable(winctl ${CMAKE_CURRENT_LIST_DIR}/winctl.cpp)
target_link_libraries(winctl PRIVATE user32 gdi32 ${THOUSAND_STATIC_LINK})
thousand_warnings(winctl)
set_target_properties(winctl PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The program built without its pictures and its music.
add_executable(thousand_bare WIN32 ${PROJECT_SOURCE_DIR}/app/main.cpp ${CMAKE_CURRENT_LIST_DIR}/bare.rc)
# Its resource script names the icon and includes the resource numbers.
set(THOUSAND_BARE_RESOURCE_FILES ${PROJECT_SOURCE_DIR}/resources/thousand.ico
    ${PROJECT_SOURCE_DIR}/resources/resource_numbers.h)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/bare.rc PROPERTIES
    OBJECT_DEPENDS "${THOUSAND_BARE_RESOURCE_FILES}")
target_link_libraries(thousand_bare PRIVATE thousand_core ${THOUSAND_STATIC_LINK})
thousand_warnings(thousand_bare)
set_target_properties(thousand_bare PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The program with a FastTracker 2 module (show.xm, from the host tree's make_e2e_xm and
# committed beside its resource script) in place of the soundtrack.
add_executable(thousand_xm WIN32 ${PROJECT_SOURCE_DIR}/app/main.cpp ${CMAKE_CURRENT_LIST_DIR}/xm.rc)
# Its resource script names the program's files but the module, and the XM.
set(THOUSAND_XM_RESOURCE_FILES ${THOUSAND_RESOURCE_FILES} ${CMAKE_CURRENT_LIST_DIR}/show.xm)
list(FILTER THOUSAND_XM_RESOURCE_FILES EXCLUDE REGEX "/thousand\\.mod$")
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/xm.rc PROPERTIES
    OBJECT_DEPENDS "${THOUSAND_XM_RESOURCE_FILES}")
target_link_libraries(thousand_xm PRIVATE thousand_core ${THOUSAND_STATIC_LINK})
# The manifest is the resource script's, as in the program.
if(MSVC)
    target_link_options(thousand_xm PRIVATE /MANIFEST:NO)
endif()
thousand_warnings(thousand_xm)
set_target_properties(thousand_xm PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The scenarios need Wine and an X server, so they run only on a Linux host.
if(CMAKE_HOST_SYSTEM_NAME STREQUAL "Linux")
    # The sound scenarios compare the captured sound with the host's render of the module
    # that the program carries.
    set(THOUSAND_MODRENDER ${PROJECT_SOURCE_DIR}/build/native/bin/modrender CACHE FILEPATH
        "The host tree's modrender, which the end-to-end sound scenarios compare with")
    # The module that each program carries (thousand_bare carries none).
    set(THOUSAND_E2E_MUSIC_thousand ${PROJECT_SOURCE_DIR}/resources/thousand.mod)
    set(THOUSAND_E2E_MUSIC_thousand_xm ${CMAKE_CURRENT_LIST_DIR}/show.xm)

    # The scenarios, in their order, and the build target whose program each one runs,
    # as e2e.py lists them: one line a scenario, its name and the target. A change to any
    # of the scripts configures the tree again.
    file(GLOB THOUSAND_E2E_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/*.py ${PROJECT_SOURCE_DIR}/tests/common/*.py)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${THOUSAND_E2E_SCRIPTS})
    execute_process(COMMAND ${CMAKE_COMMAND} -E env PYTHONDONTWRITEBYTECODE=1
                            ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/e2e.py --list
                    OUTPUT_VARIABLE THOUSAND_E2E_LIST ERROR_VARIABLE THOUSAND_E2E_LIST_ERROR
                    RESULT_VARIABLE THOUSAND_E2E_LIST_RESULT)
    if(NOT THOUSAND_E2E_LIST_RESULT EQUAL 0 OR NOT THOUSAND_E2E_LIST MATCHES "^([a-z0-9-]+ [a-z0-9_]+\n)+$")
        message(FATAL_ERROR "e2e.py --list gave no list of scenarios (${THOUSAND_E2E_LIST_RESULT}):\n"
                            "${THOUSAND_E2E_LIST}${THOUSAND_E2E_LIST_ERROR}")
    endif()
    string(REGEX REPLACE "\n$" "" THOUSAND_E2E_LIST "${THOUSAND_E2E_LIST}")
    string(REPLACE "\n" ";" THOUSAND_E2E_LIST "${THOUSAND_E2E_LIST}")
    foreach(line IN LISTS THOUSAND_E2E_LIST)
        string(REPLACE " " ";" line "${line}")
        list(GET line 0 scenario)
        list(GET line 1 program)
        set(music)
        if(DEFINED THOUSAND_E2E_MUSIC_${program})
            set(music --module ${THOUSAND_E2E_MUSIC_${program}})
        endif()
        add_test(NAME e2e.${scenario}
                 COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/e2e.py ${scenario}
                         --program $<TARGET_FILE:${program}>
                         --helper $<TARGET_FILE:winctl>
                         --output ${CMAKE_BINARY_DIR}/e2e
                         --prefix ${PROJECT_SOURCE_DIR}/build/wineprefix-e2e
                         --modrender ${THOUSAND_MODRENDER} ${music})
        # One Wine prefix for all scenarios: they must not overlap. The first run also
        # creates the prefix, which takes a while. The scenarios' displays have no window
        # manager, so Wine places and focuses the windows itself (unmanaged windows)
        # rather than waiting for a manager's answer each time a window is hidden.
        set_tests_properties(e2e.${scenario} PROPERTIES
            RUN_SERIAL TRUE
            TIMEOUT 180
            ENVIRONMENT "THOUSAND_WINE_UNMANAGED=1"
            RESOURCE_LOCK thousand-wineprefix-e2e)
    endforeach()

    # What `make run` does on a machine without a display, as it stands: it must end by
    # itself with 0, save its screenshots, and print no complaint of a missing sound card.
    set(THOUSAND_RUN_SHOTS ${CMAKE_BINARY_DIR}/run-headless)
    add_test(NAME run.headless
             COMMAND sh -c "env -u DISPLAY THOUSAND_SCREENSHOTS='${THOUSAND_RUN_SHOTS}' \
                            '${PROJECT_SOURCE_DIR}/tools/run.sh' '$<TARGET_FILE:thousand>' && \
                            for s in 1s 3s 6s 10s; do \
                                test -s '${THOUSAND_RUN_SHOTS}'/show-$s.png || \
                                { echo \"no screenshot at $s\"; exit 1; }; \
                            done")
    set_tests_properties(run.headless PROPERTIES
        RUN_SERIAL TRUE
        TIMEOUT 120
        FAIL_REGULAR_EXPRESSION "ALSA lib"
        ENVIRONMENT "THOUSAND_WINEPREFIX=${PROJECT_SOURCE_DIR}/build/wineprefix-e2e;THOUSAND_WINE_UNMANAGED=1"
        RESOURCE_LOCK thousand-wineprefix-e2e)
endif()
