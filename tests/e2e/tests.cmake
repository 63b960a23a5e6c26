# End-to-end tests: the real program under Wine on a private Xvfb display, driven from
# outside as a person would drive it (e2e.py), with a small Win32 helper for what only
# Win32 can see from inside Wine (winctl.cpp).
add_executable(winctl ${CMAKE_CURRENT_LIST_DIR}/winctl.cpp)
target_link_libraries(winctl PRIVATE user32 gdi32 ${THOUSAND_STATIC_LINK})
thousand_warnings(winctl)
set_target_properties(winctl PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The scenarios need Wine and an X server, so they run only on a Linux host.
if(CMAKE_HOST_SYSTEM_NAME STREQUAL "Linux")
    # The sound scenarios compare the captured sound with the host's render of the module.
    set(THOUSAND_MODRENDER ${PROJECT_SOURCE_DIR}/build/native/bin/modrender CACHE FILEPATH
        "The host tree's modrender, which the end-to-end sound scenario compares with")

    set(THOUSAND_E2E_SCENARIOS windowed close fullscreen refused-yes refused-no minimise
        sound silent escape-title title main-phase keys mode-switch)
    foreach(scenario IN LISTS THOUSAND_E2E_SCENARIOS)
        add_test(NAME e2e.${scenario}
                 COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/e2e.py ${scenario}
                         --program $<TARGET_FILE:thousand>
                         --helper $<TARGET_FILE:winctl>
                         --output ${CMAKE_BINARY_DIR}/e2e
                         --prefix ${PROJECT_SOURCE_DIR}/build/wineprefix-e2e
                         --modrender ${THOUSAND_MODRENDER}
                         --module ${PROJECT_SOURCE_DIR}/resources/thousand.mod)
        # One Wine prefix for all scenarios: they must not overlap. The first run also
        # creates the prefix, which takes a while.
        set_tests_properties(e2e.${scenario} PROPERTIES
            RUN_SERIAL TRUE
            TIMEOUT 180
            RESOURCE_LOCK thousand-wineprefix-e2e)
    endforeach()
endif()
