#include <gtest/gtest.h>

#include <windows.h>

#include "app/window_proc.h"
#include "platform/gl.h"
#include "platform/render_window.h"
#include "platform/window_size.h"
#include "show/site.h"
#include "tests/win32/message_box_watcher.h"

namespace {

using Box = MessageBoxWatcher::Box;

bool classRegistered()
{
    WNDCLASSA windowClass;
    return GetClassInfoA(GetModuleHandleA(nullptr), "OpenGL", &windowClass) != 0;
}

// Whether the display would accept the show's fullscreen mode.
bool displayAcceptsShowMode()
{
    DEVMODEA mode = {};
    mode.dmSize = sizeof(mode);
    mode.dmPelsWidth = windowWidth;
    mode.dmPelsHeight = windowHeight;
    mode.dmBitsPerPel = windowBits;
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    return ChangeDisplaySettingsA(&mode, CDS_TEST) == DISP_CHANGE_SUCCESSFUL;
}

// Rejects its own creation, so that CreateWindowExA fails.
LRESULT CALLBACK refusingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        return FALSE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void expectClosed()
{
    EXPECT_EQ(renderWindow.window, nullptr);
    EXPECT_EQ(renderWindow.deviceContext, nullptr);
    EXPECT_EQ(renderWindow.renderingContext, nullptr);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_FALSE(classRegistered());
}

void expectWindowedClientArea()
{
    RECT client;
    ASSERT_TRUE(GetClientRect(renderWindow.window, &client));
    EXPECT_EQ(client.right - client.left, 640);
    EXPECT_EQ(client.bottom - client.top, 480);
    RECT outer;
    ASSERT_TRUE(GetWindowRect(renderWindow.window, &outer));
    EXPECT_EQ(outer.left, 0);
    EXPECT_EQ(outer.top, 0);
    EXPECT_GT(outer.right - outer.left, 640) << "the frame lies outside the client area";
    EXPECT_GT(outer.bottom - outer.top, 480);
}

TEST(RenderWindowTest, WindowedOpenGivesTheShowsClientAreaAndContext)
{
    MessageBoxWatcher watcher;
    ASSERT_TRUE(renderWindow.open(windowTitle, windowWidth, windowHeight, windowBits, false, MainWindowProc));
    EXPECT_FALSE(renderWindow.fullscreen);
    expectWindowedClientArea();

    char title[128] = {};
    GetWindowTextA(renderWindow.window, title, sizeof(title));
    EXPECT_STREQ(title, "Dolven Quarn - http://www.dolvenquarn.org");

    EXPECT_EQ(renderWindow.width, 640);
    EXPECT_EQ(renderWindow.height, 480);
    EXPECT_EQ(wglGetCurrentContext(), renderWindow.renderingContext);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 480);
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));

    // The overlay of the show needs a stencil bit and the 3-D view a depth buffer.
    PIXELFORMATDESCRIPTOR format = {};
    const int index = GetPixelFormat(renderWindow.deviceContext);
    ASSERT_NE(index, 0);
    DescribePixelFormat(renderWindow.deviceContext, index, sizeof(format), &format);
    EXPECT_GE(format.cStencilBits, 1);
    EXPECT_GE(format.cDepthBits, 16);
    EXPECT_TRUE(format.dwFlags & PFD_DOUBLEBUFFER);

    HWND window = renderWindow.window;
    renderWindow.close();
    EXPECT_FALSE(IsWindow(window));
    expectClosed();
    EXPECT_TRUE(watcher.seen().empty()) << "no failure was reported";
}

TEST(RenderWindowTest, RefusedFullscreenCanGoOnWindowed)
{
    if (displayAcceptsShowMode()) {
        GTEST_SKIP() << "this display accepts 640 x 480 x 32; the refusal cannot be shown here";
    }
    MessageBoxWatcher watcher({IDYES});
    ASSERT_TRUE(renderWindow.open(windowTitle, windowWidth, windowHeight, windowBits, true, MainWindowProc));
    EXPECT_FALSE(renderWindow.fullscreen) << "so that the next switch asks for fullscreen again";
    expectWindowedClientArea();
    renderWindow.close();
    expectClosed();

    const std::vector<Box> expected = {
        {"Tenvo GL", "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode Instead?"},
    };
    EXPECT_EQ(watcher.seen(), expected);
}

TEST(RenderWindowTest, RefusedFullscreenDeclinedEndsTheProgram)
{
    if (displayAcceptsShowMode()) {
        GTEST_SKIP() << "this display accepts 640 x 480 x 32; the refusal cannot be shown here";
    }
    MessageBoxWatcher watcher({IDNO, IDOK});
    EXPECT_FALSE(renderWindow.open(windowTitle, windowWidth, windowHeight, windowBits, true, MainWindowProc));
    EXPECT_EQ(renderWindow.window, nullptr);
    EXPECT_EQ(renderWindow.renderingContext, nullptr);

    ASSERT_EQ(watcher.seen().size(), 2u);
    EXPECT_EQ(watcher.seen()[0].caption, "Tenvo GL");
    EXPECT_EQ(watcher.seen()[1], (Box{"ERROR", "Program Will Now Close."}));

    // The program ends right after; the class was left registered.
    EXPECT_TRUE(classRegistered());
    UnregisterClassA("OpenGL", GetModuleHandleA(nullptr));
    renderWindow.fullscreen = false;
}

TEST(RenderWindowTest, FailedWindowCreationReleasesWhatWasMade)
{
    MessageBoxWatcher watcher({IDOK});
    EXPECT_FALSE(
        renderWindow.open(windowTitle, windowWidth, windowHeight, windowBits, false, refusingWindowProc));
    expectClosed();
    const std::vector<Box> expected = {{"ERROR", "Window Creation Error."}};
    EXPECT_EQ(watcher.seen(), expected);
}

TEST(RenderWindowTest, CloseReleasesOnlyWhatExists)
{
    // A window and device context without a rendering context, as an open that
    // stopped at the pixel format leaves them.
    WNDCLASSA windowClass = {};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "OpenGL";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    HWND window = CreateWindowExA(0, "OpenGL", "half open", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);

    {
        MessageBoxWatcher watcher;
        renderWindow.fullscreen = false;
        renderWindow.instance = windowClass.hInstance;
        renderWindow.window = window;
        renderWindow.deviceContext = GetDC(window);
        renderWindow.renderingContext = nullptr;
        renderWindow.close();

        EXPECT_FALSE(IsWindow(window));
        expectClosed();
        EXPECT_TRUE(watcher.seen().empty()) << "nothing failed, so nothing was reported";
    }

    // A second close finds nothing but the class, which is gone too: that one failure
    // is reported, and the teardown goes on.
    MessageBoxWatcher second({IDOK});
    renderWindow.close();
    const std::vector<Box> expected = {{"SHUTDOWN ERROR", "Could Not Unregister Class."}};
    EXPECT_EQ(second.seen(), expected);
}

} // namespace
