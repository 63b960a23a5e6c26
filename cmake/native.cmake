# The host tree: the portable code against an off-screen Mesa context, with the host
# tests under AddressSanitizer and UndefinedBehaviorSanitizer, the benchmarks and the
# asset tools.
find_package(PkgConfig REQUIRED)
pkg_check_modules(OSMESA REQUIRED IMPORTED_TARGET osmesa)
pkg_check_modules(GLU REQUIRED IMPORTED_TARGET glu)
# The GL layer's ES 3 contexts: Mesa's, made through EGL.
pkg_check_modules(EGL REQUIRED IMPORTED_TARGET egl)
pkg_check_modules(GLESV2 REQUIRED IMPORTED_TARGET glesv2)

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

set(THOUSAND_OFFSCREEN_SOURCES
    app/offscreen_show.cpp
    assets/dib_picture.cpp
    assets/texture_registry_offscreen.cpp
    platform/music_player_offscreen.cpp
    platform/offscreen_context.cpp
    platform/render_window_offscreen.cpp
)
set(THOUSAND_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

# OSMesa comes before GLU in the link, so that GLU's own GL calls resolve to the
# off-screen implementation rather than to the window-system dispatcher.
function(thousand_portable_library name)
    add_library(${name} STATIC ${ARGN} ${THOUSAND_OFFSCREEN_SOURCES} platform/offscreen_context_osmesa.cpp)
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC PkgConfig::OSMESA PkgConfig::GLU)
    thousand_warnings(${name})
endfunction()

# Optimised, for benchmarks and tools. The sound library draws nothing: this tree and the
# GL layer's below share one build of it.
add_library(thousand_sound STATIC ${THOUSAND_SOUND_SOURCES})
target_include_directories(thousand_sound PUBLIC ${PROJECT_SOURCE_DIR})
thousand_warnings(thousand_sound)
set(THOUSAND_DRAWING_SOURCES ${THOUSAND_PORTABLE_SOURCES})
list(REMOVE_ITEM THOUSAND_DRAWING_SOURCES ${THOUSAND_SOUND_SOURCES})
thousand_portable_library(thousand_portable ${THOUSAND_DRAWING_SOURCES})
target_link_libraries(thousand_portable PUBLIC thousand_sound)

# The GL layer over OpenGL ES 3, and the same portable code drawing through it on an
# EGL context, for snapshot --gles, the layer's tests and its benchmark.
add_subdirectory(gl11)
add_library(thousand_portable_gles STATIC ${THOUSAND_DRAWING_SOURCES} ${THOUSAND_OFFSCREEN_SOURCES}
            platform/offscreen_context_gles.cpp)
target_include_directories(thousand_portable_gles PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(thousand_portable_gles PUBLIC THOUSAND_GL_LAYER)
target_link_libraries(thousand_portable_gles PUBLIC gl11 PkgConfig::EGL thousand_sound)
thousand_warnings(thousand_portable_gles)

add_subdirectory(tools)
if(THOUSAND_TESTS)
    # Instrumented, for tests.
    thousand_portable_library(thousand_portable_checked ${THOUSAND_PORTABLE_SOURCES})
    target_compile_options(thousand_portable_checked PUBLIC ${THOUSAND_SANITIZE} -g)
    target_link_options(thousand_portable_checked PUBLIC ${THOUSAND_SANITIZE})

    add_subdirectory(tests/host)
endif()
# Its module generators serve the benchmarks too; its tests come with THOUSAND_TESTS.
add_subdirectory(tests/sound)
if(THOUSAND_TESTS)
    add_subdirectory(tests/capture)
    add_subdirectory(tests/gl11)
    add_subdirectory(tests/web)
endif()
add_subdirectory(bench)
