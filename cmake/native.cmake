# The host tree: the portable code against an off-screen Mesa context, with the host
# tests under AddressSanitizer and UndefinedBehaviorSanitizer, the benchmarks and the
# asset tools.
find_package(PkgConfig REQUIRED)
pkg_check_modules(OSMESA REQUIRED IMPORTED_TARGET osmesa)
pkg_check_modules(GLU REQUIRED IMPORTED_TARGET glu)

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
    add_library(${name} STATIC ${THOUSAND_PORTABLE_SOURCES} ${THOUSAND_OFFSCREEN_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC PkgConfig::OSMESA PkgConfig::GLU)
    thousand_warnings(${name})
endfunction()

# Optimised, for benchmarks and tools.
thousand_portable_library(thousand_portable)

add_subdirectory(tools)
if(THOUSAND_TESTS)
    # Instrumented, for tests.
    thousand_portable_library(thousand_portable_checked)
    target_compile_options(thousand_portable_checked PUBLIC ${THOUSAND_SANITIZE} -g)
    target_link_options(thousand_portable_checked PUBLIC ${THOUSAND_SANITIZE})

    add_subdirectory(tests/host)
endif()
# Its module generators serve the benchmarks too; its tests come with THOUSAND_TESTS.
add_subdirectory(tests/sound)
if(THOUSAND_TESTS)
    add_subdirectory(tests/capture)
endif()
add_subdirectory(bench)
