// The Win32 half of the render window: window class, window, device context, pixel
// format, WGL rendering context and display mode. A port to another platform replaces
// this file: it must open a double-buffered RGBA window with a 16-bit depth buffer and,
// where the driver has one, a stencil bit, keep a GL 1.1 context current on it, and swap
// its buffers.
#include <windows.h>

#include <type_traits>

#include "platform/gl.h"
#include "platform/render_window.h"
#include "resources/resource_numbers.h"

static_assert(std::is_same<WindowProcedure, WNDPROC>::value,
              "WindowProcedure must match the Win32 window procedure type");

namespace {

const char* const windowClassName = "OpenGL";

// The icon group and cursor of the class. With a null instance handle both lookups
// find nothing, so the class has neither; the cursor stays hidden during the show.
const int classResourceNumber = iconGroup;

// A message box with the pointer shown while it is up, which the show may have hidden
// (a mode switch opens and closes the window while the show runs); gives the answer.
int tellUser(const char* text, const char* caption, UINT type)
{
    // The pointer shows while its display counter is not negative: raised that far, and
    // lowered again afterwards by as much.
    int raised = 0;
    while (ShowCursor(TRUE) < 0) {
        ++raised;
    }
    const int answer = MessageBoxA(nullptr, text, caption, type);
    ShowCursor(FALSE);
    for (; raised > 0; --raised) {
        ShowCursor(FALSE);
    }
    return answer;
}

// Reports a failure of open to the user.
void reportOpenFailure(const char* message)
{
    tellUser(message, "ERROR", MB_OK | MB_ICONEXCLAMATION);
}

// Reports a failure of close; the teardown goes on.
void reportCloseFailure(const char* message)
{
    tellUser(message, "SHUTDOWN ERROR", MB_OK | MB_ICONINFORMATION);
}

} // namespace

bool RenderWindow::open(const char* title, int newWidth, int newHeight, int bits,
                        bool newFullscreen, WindowProcedure windowProc)
{
    fullscreen = newFullscreen;
    windowedDeclined = false;
    instance = GetModuleHandleA(nullptr);

    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(classResourceNumber));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(classResourceNumber));
    windowClass.lpszClassName = windowClassName;
    if (!RegisterClassA(&windowClass)) {
        reportOpenFailure("Failed To Register The Window Class.");
        return false;
    }

    if (fullscreen) {
        DEVMODEA mode = {};
        // The size of the structure without its later panning fields, which every
        // version of Windows accepts.
        mode.dmSize = 148;
        mode.dmPelsWidth = static_cast<DWORD>(newWidth);
        mode.dmPelsHeight = static_cast<DWORD>(newHeight);
        mode.dmBitsPerPel = static_cast<DWORD>(bits);
        mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
        if (ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) {
            const int answer = tellUser("The Requested Fullscreen Mode Is Not Supported By\n"
                                        "Your Video Card. Use Windowed Mode Instead?",
                                        "Tenvo GL", MB_YESNO | MB_ICONEXCLAMATION);
            if (answer != IDYES) {
                // The class stays registered: the program ends right after this.
                tellUser("Program Will Now Close.", "ERROR", MB_ICONSTOP);
                windowedDeclined = true;
                return false;
            }
            fullscreen = false;
        }
    }

    DWORD exStyle;
    DWORD style;
    if (fullscreen) {
        // Paired with the ShowCursor(TRUE) of close.
        ShowCursor(FALSE);
        exStyle = WS_EX_APPWINDOW;
        style = WS_POPUP;
    } else {
        exStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
        style = WS_OVERLAPPEDWINDOW;
    }

    // Grown by the frame, so that the client area has exactly the size asked for.
    RECT rect = {0, 0, newWidth, newHeight};
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    window = CreateWindowExA(exStyle, windowClassName, title,
                             style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                             rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                             instance, nullptr);
    if (!window) {
        return abandonOpen("Window Creation Error.");
    }

    deviceContext = GetDC(window);
    if (!deviceContext) {
        return abandonOpen("Can't Create A GL Device Context.");
    }

    PIXELFORMATDESCRIPTOR format = {};
    format.nSize = sizeof(format);
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = static_cast<BYTE>(bits);
    format.cDepthBits = 16;
    format.cStencilBits = 1;
    format.iLayerType = PFD_MAIN_PLANE;
    const int formatIndex = ChoosePixelFormat(deviceContext, &format);
    if (formatIndex == 0) {
        return abandonOpen("Can't Find A Suitable PixelFormat.");
    }
    if (!SetPixelFormat(deviceContext, formatIndex, &format)) {
        return abandonOpen("Can't Set The PixelFormat.");
    }

    renderingContext = wglCreateContext(deviceContext);
    if (!renderingContext) {
        return abandonOpen("Can't Create A GL Rendering Context.");
    }
    if (!wglMakeCurrent(deviceContext, renderingContext)) {
        return abandonOpen("Can't Activate The GL Rendering Context.");
    }

    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(window);

    resize(newWidth, newHeight);
    if (!initState()) {
        return abandonOpen("Initialization Failed.");
    }
    return true;
}

bool RenderWindow::abandonOpen(const char* message)
{
    close();
    reportOpenFailure(message);
    return false;
}

void RenderWindow::close()
{
    if (fullscreen) {
        ChangeDisplaySettingsA(nullptr, 0);
        ShowCursor(TRUE);
    }

    if (renderingContext) {
        if (!wglMakeCurrent(nullptr, nullptr)) {
            reportCloseFailure("Release Of DC And RC Failed.");
        }
        if (!wglDeleteContext(renderingContext)) {
            reportCloseFailure("Release Rendering Context Failed.");
        }
        renderingContext = nullptr;
    }

    // Each handle is forgotten once released, so that a second close, or one after a
    // half-finished open, touches only what exists.
    if (deviceContext) {
        if (!ReleaseDC(window, deviceContext)) {
            reportCloseFailure("Release Device Context Failed.");
        }
        deviceContext = nullptr;
    }

    if (window) {
        if (!DestroyWindow(window)) {
            reportCloseFailure("Could Not Release hWnd.");
        }
        window = nullptr;
    }

    if (!UnregisterClassA(windowClassName, instance)) {
        reportCloseFailure("Could Not Unregister Class.");
    }
}

void RenderWindow::makeCurrent()
{
    wglMakeCurrent(deviceContext, renderingContext);
}

void RenderWindow::swapBuffers()
{
    SwapBuffers(deviceContext);
}
