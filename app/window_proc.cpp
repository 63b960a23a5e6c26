#include "app/window_proc.h"

#include "platform/render_window.h"

bool windowActive = true;

namespace {

// Bit 30 of a key message's lParam: the key was already down, so this is the keyboard's
// auto-repeat, not a new press.
constexpr LPARAM repeatFlag = LPARAM(1) << 30;

} // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        renderWindow.resize(LOWORD(lParam), HIWORD(lParam));
        // Windows tells of a minimise or restore both here and in WM_ACTIVATE, in an
        // order of its own; whichever comes last decides. The sizes that other windows'
        // maximising sends to pop-ups change nothing.
        if (wParam == SIZE_MINIMIZED) {
            windowActive = false;
        } else if (wParam == SIZE_RESTORED || wParam == SIZE_MAXIMIZED) {
            windowActive = true;
        }
        return 0;
    case WM_ACTIVATE:
        // The high word is the minimised flag; the low word (active or not) is ignored,
        // so a window that merely loses the focus goes on drawing.
        windowActive = HIWORD(wParam) == 0;
        return 0;
    case WM_KILLFOCUS:
        // The releases of keys held now would go to the window that takes the focus.
        clearKeys();
        break;
    case WM_CLOSE:
        // The window is destroyed by the shutdown, not here.
        PostQuitMessage(0);
        return 0;
    case WM_KEYDOWN:
        keyPressed(static_cast<int>(wParam & 0xFF), (lParam & repeatFlag) != 0);
        return 0;
    case WM_KEYUP:
        keyReleased(static_cast<int>(wParam & 0xFF));
        return 0;
    case WM_SYSCOMMAND:
        // The screen saver and the monitor's power saving are refused during the show,
        // and so is the menu mode that a lone Alt or F10 starts, which would stop the
        // drawing and swallow the next Escape. The low four bits of the command are
        // the system's own.
        if (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER ||
            (wParam & 0xFFF0) == SC_KEYMENU) {
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
