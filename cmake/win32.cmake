# The Windows tree: the program and, with THOUSAND_TESTS, the Win32 test program and
# the tests that run them under Wine.
enable_language(RC)

set(THOUSAND_WIN32_SOURCES
    app/window_proc.cpp
    assets/texture_registry_win32.cpp
    platform/cursor_control_win32.cpp
    platform/frame_timer_win32.cpp
    platform/music_player_win32.cpp
    platform/render_window_win32.cpp
    sound/wave_out_win32.cpp
)
set(THOUSAND_SYSTEM_LIBRARIES opengl32 glu32 gdi32 user32 kernel32 winmm)

# 32-bit GCC computes on the x87 stack by default, keeping intermediate floats at 80
# bits: the water would not round as the host build does. SSE2 rounds every operation
# to its type. Every CPU that runs Windows 8 or later has SSE2. MSVC uses SSE2 on x86
# already (/arch:SSE2 is its default).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_compile_options(-msse2 -mfpmath=sse)
endif()

# libgcc, libstdc++ and winpthread go into the executables: only system DLLs remain.
if(NOT MSVC)
    set(THOUSAND_STATIC_LINK -static -static-libgcc -static-libstdc++)
endif()

add_library(thousand_core STATIC ${THOUSAND_PORTABLE_SOURCES} ${THOUSAND_WIN32_SOURCES})
target_include_directories(thousand_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(thousand_core PUBLIC ${THOUSAND_SYSTEM_LIBRARIES})
thousand_warnings(thousand_core)

add_executable(thousand WIN32 app/main.cpp resources/thousand.rc)
target_link_libraries(thousand PRIVATE thousand_core ${THOUSAND_STATIC_LINK})
# CMake does not see the files that the resource script names: a changed picture, module,
# manifest or resource number must still make a new executable.
set(THOUSAND_RESOURCE_FILES)
foreach(name thousand.ico thousand.mod swirl.bmp cloud.bmp burst.bmp glyphs.bmp banner.bmp
        thousand.manifest resource_numbers.h)
    list(APPEND THOUSAND_RESOURCE_FILES ${PROJECT_SOURCE_DIR}/resources/${name})
endforeach()
set_source_files_properties(resources/thousand.rc PROPERTIES OBJECT_DEPENDS "${THOUSAND_RESOURCE_FILES}")
# The manifest is the resource script's; MSVC's linker would add one of its own.
if(MSVC)
    target_link_options(thousand PRIVATE /MANIFEST:NO)
endif()
thousand_warnings(thousand)
set_target_properties(thousand PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
# The released program goes without its symbols, which are over a third of its size;
# the test programs keep theirs for Wine's backtraces.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_link_options(thousand PRIVATE $<$<CONFIG:Release>:-s>)
endif()

if(THOUSAND_TESTS)
    include(${PROJECT_SOURCE_DIR}/tests/win32/tests.cmake)
    include(${PROJECT_SOURCE_DIR}/tests/e2e/tests.cmake)
endif()
