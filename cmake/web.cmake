# The show on a web page, built with Emscripten: the portable code drawing through the
# GL layer on WebGL 2 with the browser's platform halves, and the sound library once more
# on its own for the page's audio thread. web/make_page.py puts both, the page's own
# script and the program's pictures and module into one file, thousand.html.
add_subdirectory(gl11)

set(THOUSAND_WEB_FLAGS -sUSE_WEBGL2=1 -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2)

add_executable(thousand_web
    ${THOUSAND_PORTABLE_SOURCES}
    app/main_web.cpp
    assets/dib_picture.cpp
    assets/texture_registry_offscreen.cpp
    platform/music_player_web.cpp
    platform/page_web.cpp
    platform/render_window_web.cpp
)
target_include_directories(thousand_web PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(thousand_web PRIVATE THOUSAND_GL_LAYER)
target_link_libraries(thousand_web PRIVATE gl11)
# One script with its WebAssembly inside, made into a function that the page calls once
# for every show.
target_link_options(thousand_web PRIVATE ${THOUSAND_WEB_FLAGS} -sSINGLE_FILE=1 -sMODULARIZE=1
    -sEXPORT_NAME=createThousand -sENVIRONMENT=web -sALLOW_MEMORY_GROWTH=1
    -sEXPORTED_FUNCTIONS=_main,_thousandStart,_thousandLayout)
set_target_properties(thousand_web PROPERTIES SUFFIX ".js")
thousand_warnings(thousand_web)

# The sound library for the audio thread: a WebAssembly module that needs nothing from
# its host.
add_executable(thousand_sound
    platform/sound_worklet_web.cpp
    ${THOUSAND_SOUND_SOURCES}
    sound/sound_library.cpp
)
target_include_directories(thousand_sound PRIVATE ${PROJECT_SOURCE_DIR})
target_link_options(thousand_sound PRIVATE -sSTANDALONE_WASM --no-entry
    -sEXPORTED_FUNCTIONS=_thousandSoundModule,_thousandSoundLoad,_thousandSoundStart,_thousandSoundPause,_thousandSoundRender)
set_target_properties(thousand_sound PROPERTIES SUFFIX ".wasm")
thousand_warnings(thousand_sound)

find_package(Python3 3.8 REQUIRED COMPONENTS Interpreter)
set(THOUSAND_PAGE ${CMAKE_BINARY_DIR}/thousand.html)
add_custom_command(OUTPUT ${THOUSAND_PAGE}
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/web/make_page.py --web ${PROJECT_SOURCE_DIR}/web
            --show $<TARGET_FILE:thousand_web> --sound $<TARGET_FILE:thousand_sound>
            --resources ${PROJECT_SOURCE_DIR}/resources --output ${THOUSAND_PAGE}
    DEPENDS thousand_web thousand_sound ${PROJECT_SOURCE_DIR}/web/make_page.py ${PROJECT_SOURCE_DIR}/web/page.html
            ${PROJECT_SOURCE_DIR}/web/page.js ${PROJECT_SOURCE_DIR}/web/sound_worklet.js
    COMMENT "Putting the page together: thousand.html")
add_custom_target(thousand_page ALL DEPENDS ${THOUSAND_PAGE})
