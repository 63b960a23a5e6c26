#pragma once

class Camera;

// Win32 handle types, declared as <windows.h> declares them, so that this header and
// the portable code that draws through it stay free of <windows.h>.
struct HDC__;
struct HGLRC__;
struct HWND__;
struct HINSTANCE__;

// The window procedure, with the parameter types of a Win32 WNDPROC (checked against
// <windows.h> where open is built).
#if defined(_WIN64)
using WindowProcedure = long long(__stdcall*)(HWND__*, unsigned int, unsigned long long, long long);
#elif defined(_WIN32)
using WindowProcedure = long(__stdcall*)(HWND__*, unsigned int, unsigned int, long);
#else
using WindowProcedure = long (*)(HWND__*, unsigned int, unsigned long, long);
#endif

// The window, its device and GL rendering contexts and, in fullscreen mode, the
// changed display mode, opened and closed as one unit; the viewport and default
// projection; the base GL state; and the brackets of each frame.
//
// open, close and the buffer swap are Win32 (render_window_win32.cpp); the GL half
// (render_window.cpp) is portable, and an off-screen build provides the two platform
// hooks, makeCurrent and swapBuffers, itself.
class RenderWindow {
public:
    RenderWindow();
    virtual ~RenderWindow();

    // Creates the window class, the window, the device and rendering contexts, and
    // changes the display mode when fullscreen is asked for. Every failure is told to
    // the user by a message box and gives false, with everything made so far released.
    bool open(const char* title, int width, int height, int bits, bool fullscreen,
              WindowProcedure windowProc);

    // Releases whatever open made, in reverse order, telling the user about every
    // step that fails and going on with the rest. Safe after an open that stopped half
    // way. Leaves `fullscreen` as it was.
    void close();

    // Fits the viewport and the default projection to a client area; a height of 0
    // (a minimised window) counts as 1.
    void resize(int width, int height);

    // The base GL state of a new rendering context; also finds whether it has a stencil
    // buffer.
    bool initState();

    // Starts a 3-D frame from the camera: projection, cleared buffers, viewing transform.
    bool beginFrame(Camera& camera);

    // Switches to 2-D drawing in window pixels (in units of overlayScale pixels),
    // origin top-left, y growing downwards, and back.
    void beginOverlay();
    void endOverlay();

    // Finishes the frame and shows it.
    void present();

    int width;
    int height;
    bool fullscreen;
    // Set by open when it gave false because the user declined to go on in a window
    // after the fullscreen mode was refused, rather than because something failed.
    bool windowedDeclined;
    // Whether the current rendering context has a stencil buffer; found by initState.
    bool hasStencil;
    // Pixels per unit of the overlay's layout in each direction: 1 in the program, whose
    // overlay is laid out in window pixels; more where the show is drawn off-screen at a
    // multiple of its window's size, so that the overlay keeps its layout, only sharper.
    int overlayScale;
    HDC__* deviceContext;
    HGLRC__* renderingContext;
    HWND__* window;
    HINSTANCE__* instance;

private:
    // Releases what a failing open made, then tells the user why; gives false.
    bool abandonOpen(const char* message);

    // Platform hooks: make this window's rendering context current; show the back buffer.
    void makeCurrent();
    void swapBuffers();
};

extern RenderWindow renderWindow;
