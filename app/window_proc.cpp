#include "app/window_proc.h"

#include "platform/render_window.h"

unsigned char KeyState[256];
bool windowActive = true;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        renderWindow.resize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_ACTIVATE:
        // The high word is the minimised flag; the low word (active or not) is ignored,
        // so a window that merely loses the focus goes on drawing.
        windowActive = HIWORD(wParam) == 0;
        return 0;
    case WM_CLOSE:
        // The window is destroyed by the shutdown, not here.
        PostQuitMessage(0);
        return 0;
    case WM_KEYDOWN:
        KeyState[wParam & 0xFF] = 1;
        return 0;
    case WM_KEYUP:
        KeyState[wParam & 0xFF] = 0;
        return 0;
    case WM_SYSCOMMAND:
        // The screen saver and the monitor's power saving are refused during the show.
        if (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER) {
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
