#pragma once

#include <windows.h>

#include "app/key_table.h"

// The state that the window procedure and the main loop share: the key table
// (app/key_table.h), which only the window procedure fills, and all of whose keys count
// as up once the window has lost the focus; and whether the window is minimised.

// False while the window is minimised; the main loop draws only while it is true.
extern bool windowActive;

// The window procedure of the render window.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
