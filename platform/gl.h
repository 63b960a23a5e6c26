#pragma once

// OpenGL 1.1 and GLU for every platform. On Windows the GL headers need the calling
// convention and export macros of <windows.h>; they are defined here so that portable
// code never includes <windows.h> itself. A Win32 file that needs both includes
// <windows.h> first, so that its own definitions win.
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
