#pragma once

#include <windows.h>

// The state that the window procedure and the main loop share.

// One entry per Win32 virtual-key code: 1 while the key is down. Set only by the
// window procedure; read by the main loop.
extern unsigned char KeyState[256];

// False while the window is minimised; the main loop draws only while it is true.
extern bool windowActive;

// The window procedure of the render window.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
