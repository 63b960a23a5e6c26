// The program's entry: the single instances (app/instances.inc, in their order of
// construction), the start-up question, the main loop and the shutdown.
#include <windows.h>

#include "app/keyboard_controls.h"
#include "app/scene_setup.h"
#include "app/window_proc.h"
#include "assets/bitmap_font.h"
#include "assets/texture_registry.h"
#include "platform/cursor_control.h"
#include "platform/frame_timer.h"
#include "platform/music_player.h"
#include "platform/render_window.h"
#include "platform/window_size.h"
#include "scene/bouncing_sphere.h"
#include "scene/camera.h"
#include "scene/ripple_surface.h"
#include "show/frame_script.h"
#include "show/site.h"

// The single instances, defined here in one translation unit so that they are
// constructed in the order of the list, on the system's clock.
#include "app/instances.inc"

namespace {

// Cleared by a No to the start-up question; read when the window is first opened.
bool fullscreenRequest = true;

// The exit code of a program that ended because something failed; 0 stays the code of
// a close request and of the user's own No to going on windowed.
constexpr int failureExitCode = 1;

// How the main loop ended: by a quit message, Escape or a failed frame, which go on
// to the shutdown; or by a window that F1 could not open again, which ends the program
// at once.
enum class LoopEnd { Shutdown, Abandon };

// The exit code when the render window could not be opened: open has told the user why.
int openFailureExitCode()
{
    return renderWindow.windowedDeclined ? 0 : failureExitCode;
}

// Asks Windows to keep the display on, neither dimmed nor locked, for as long as it
// lives: the show has no input to wake it. The screen saver's and the monitor's own
// requests are refused by the window procedure besides.
class DisplayKeptOn {
public:
    DisplayKeptOn() { SetThreadExecutionState(ES_CONTINUOUS | ES_DISPLAY_REQUIRED); }
    ~DisplayKeptOn() { SetThreadExecutionState(ES_CONTINUOUS); }
    DisplayKeptOn(const DisplayKeptOn&) = delete;
    DisplayKeptOn& operator=(const DisplayKeptOn&) = delete;
};

// Draws a frame whenever no message is pending, holding the pointer in place and
// polling the keys, until a quit message, Escape, a failed frame or a failed reopen.
// `message` keeps the last message retrieved.
LoopEnd runMainLoop(MSG& message)
{
    for (;;) {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return LoopEnd::Shutdown;
            }
            // Key presses also become character messages, which DefWindowProcA receives.
            TranslateMessage(&message);
            DispatchMessageA(&message);
            continue;
        }

        // Never sleeps: frames come as fast as drawing and the buffer swap allow.
        if (windowActive && !DrawFrame()) {
            return LoopEnd::Shutdown;
        }
        if (KeyState[VK_ESCAPE]) {
            return LoopEnd::Shutdown;
        }
        // Only while the show is in front: behind another window or minimised, the
        // pointer belongs to the rest of the desktop.
        if (windowActive && GetForegroundWindow() == renderWindow.window) {
            cursorControl.moveTo(renderWindow.width / 2, renderWindow.height / 2);
        }
        const bool reopened = handleKeys(KeyState, MainWindowProc);
        keysPolled();
        if (!reopened) {
            return LoopEnd::Abandon;
        }
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    MSG message = {};

    if (MessageBoxA(nullptr, "Want to see it BIG ?", "FullScreen...",
                    MB_YESNO | MB_ICONQUESTION) == IDNO) {
        fullscreenRequest = false;
    }

    // open has told the user why it failed and released what it made.
    if (!renderWindow.open(windowTitle, windowWidth, windowHeight, windowBits, fullscreenRequest,
                           MainWindowProc)) {
        return openFailureExitCode();
    }

    const DisplayKeptOn displayKeptOn;
    InitScene();
    cursorControl.show(false);
    musicPlayer.play();

    // A window that F1 could not open again ends the program at once: open has told the
    // user why.
    if (runMainLoop(message) == LoopEnd::Abandon) {
        return openFailureExitCode();
    }

    // The font's lists go while their context is still current; the music stops before
    // the window goes.
    bitmapFont.releaseLists();
    musicPlayer.stop();
    cursorControl.show(true);
    renderWindow.close();

    // 0 after a close request; after Escape the wParam of whatever message came last,
    // usually the Escape key's own character, 27.
    return static_cast<int>(message.wParam);
}
