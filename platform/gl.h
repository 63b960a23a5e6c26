#pragma once

// OpenGL 1.1 and GLU for every platform: Windows' and the host's own, or, where the build
// defines THOUSAND_GL_LAYER, the project's layer over OpenGL ES 3 (gl11/), whose calls
// keep their GL names in namespace gl11.
#if defined(THOUSAND_GL_LAYER)

#include "gl11/gl11.h"

using namespace gl11;

#else

// On Windows the GL headers need the calling convention and export macros of
// <windows.h>; they are defined here so that portable code never includes <windows.h>
// itself. A Win32 file that needs both includes <windows.h> first, so that its own
// definitions win.
#ifdef _WIN32
#ifndef APIENTRY
#define APIENTRY __stdcall
#endif
#ifndef WINGDIAPI
#define WINGDIAPI __declspec(dllimport)
#endif
#ifndef CALLBACK
#define CALLBACK __stdcall
#endif
#endif

#include <GL/gl.h>
#include <GL/glu.h>

// Blue-green-red pixels, the order of Windows' bitmaps: an extension in OpenGL 1.1's
// headers, core from 1.2 on, with the same value under both names.
#ifndef GL_BGR_EXT
#define GL_BGR_EXT 0x80E0
#endif

#endif
