#pragma once

#include <windows.h>

// The state that the window procedure and the main loop share.

// One entry per Win32 virtual-key code: 1 while the key is down, and also for a key
// that went down and up again since the main loop last read the table. Set only by the
// window procedure; read by the main loop, which calls keysPolled after each reading.
// All keys count as up once the window has lost the focus.
extern unsigned char KeyState[256];

// Tells the window procedure that the main loop has read KeyState: the keys released
// since the read before now count as up.
void keysPolled();

// False while the window is minimised; the main loop draws only while it is true.
extern bool windowActive;

// The window procedure of the render window.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
