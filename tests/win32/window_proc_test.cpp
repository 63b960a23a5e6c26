#include <gtest/gtest.h>

#include <cstring>

#include "app/window_proc.h"
#include "platform/render_window.h"

namespace {

// A plain window of our own whose procedure is the program's.
class WindowProcTest : public testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = MainWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "WindowProcTest";
        ASSERT_NE(RegisterClassA(&windowClass), 0);
        window = CreateWindowExA(0, "WindowProcTest", "test", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        ShowWindow(window, SW_SHOW);
        SetFocus(window);
        discardQueue();
        windowActive = true;
        keysPolled();
        std::memset(KeyState, 0, sizeof KeyState);
    }

    void TearDown() override
    {
        DestroyWindow(window);
        UnregisterClassA("WindowProcTest", GetModuleHandleA(nullptr));
        discardQueue();
    }

    // Handles every queued message (paint requests stay queued until handled); true if
    // a quit message with exit code 0 was among them.
    static bool discardQueue()
    {
        bool quit = false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = quit || message.wParam == 0;
                continue;
            }
            DispatchMessageA(&message);
        }
        return quit;
    }

    HWND window = nullptr;
};

// Bit 30 of a key message's lParam: the key was down already, an auto-repeat.
constexpr LPARAM repeated = LPARAM(1) << 30;

TEST_F(WindowProcTest, KeysAreRecordedWhileDownEveryPressIsSeenOnceAndFocusLetsGo)
{
    // Held across a reading of the table: up as soon as it is released.
    EXPECT_EQ(SendMessageA(window, WM_KEYDOWN, VK_LEFT, 0), 0);
    EXPECT_EQ(KeyState[VK_LEFT], 1);
    keysPolled();
    EXPECT_EQ(SendMessageA(window, WM_KEYDOWN, 0x42, 0), 0);
    EXPECT_EQ(KeyState[0x42], 1);
    SendMessageA(window, WM_KEYDOWN, VK_LEFT, repeated);
    EXPECT_EQ(SendMessageA(window, WM_KEYUP, VK_LEFT, 0), 0);
    EXPECT_EQ(KeyState[VK_LEFT], 0);
    EXPECT_EQ(KeyState[0x42], 1) << "another key's release leaves it down";

    // Down and up again before the next reading, as a quick tap on a slow frame: that
    // reading sees it down, the one after up.
    SendMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageA(window, WM_KEYUP, VK_ESCAPE, 0);
    EXPECT_EQ(KeyState[VK_ESCAPE], 1);
    keysPolled();
    EXPECT_EQ(KeyState[VK_ESCAPE], 0);
    EXPECT_EQ(KeyState[0x42], 1) << "a held key stays down";
    SendMessageA(window, WM_KEYUP, 0x42, 0);

    // F1's press is consumed by the loop; the auto-repeats of the held key do not set
    // it again, so that one press switches the mode once.
    SendMessageA(window, WM_KEYDOWN, VK_F1, 0);
    KeyState[VK_F1] = 0;
    keysPolled();
    SendMessageA(window, WM_KEYDOWN, VK_F1, repeated);
    EXPECT_EQ(KeyState[VK_F1], 0);
    SendMessageA(window, WM_KEYUP, VK_F1, 0);
    SendMessageA(window, WM_KEYDOWN, VK_F1, 0);
    EXPECT_EQ(KeyState[VK_F1], 1) << "the next press";

    // Keys pressed with Alt are not recorded.
    SendMessageA(window, WM_SYSKEYDOWN, VK_RIGHT, 1 << 29);
    EXPECT_EQ(KeyState[VK_RIGHT], 0);
    SendMessageA(window, WM_SYSKEYUP, VK_RIGHT, 1 << 29);

    // The releases of keys held while another window takes the focus go to that window:
    // losing the focus lets go of every key, a release waiting for the loop included.
    HWND other = CreateWindowExA(0, "WindowProcTest", "other", WS_OVERLAPPEDWINDOW, 300, 0, 100, 100, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(GetFocus(), window);
    keysPolled();
    SendMessageA(window, WM_KEYDOWN, VK_UP, 0);
    SendMessageA(window, WM_KEYUP, VK_UP, 0);
    SetFocus(other);
    EXPECT_EQ(KeyState[VK_F1], 0);
    EXPECT_EQ(KeyState[VK_UP], 0);
    keysPolled();
    EXPECT_EQ(KeyState[VK_UP], 0);
    DestroyWindow(other);
}

TEST_F(WindowProcTest, DrawingStopsWhileMinimisedWhateverTheOrderOfTheMessages)
{
    struct Case {
        WPARAM wParam;
        bool active;
    };
    const Case cases[] = {
        {MAKEWPARAM(WA_INACTIVE, 0), true}, // lost the focus, still visible: keeps drawing
        {MAKEWPARAM(WA_ACTIVE, 1), false},
        {MAKEWPARAM(WA_CLICKACTIVE, 0), true},
        {MAKEWPARAM(WA_INACTIVE, 1), false},
        {MAKEWPARAM(WA_ACTIVE, 0), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MainWindowProc(window, WM_ACTIVATE, c.wParam, 0), 0);
        EXPECT_EQ(windowActive, c.active) << std::hex << c.wParam;
    }

    // Windows tells of a minimise or restore by WM_SIZE too, in an order of its own; an
    // activation that comes first may still carry the minimised flag.
    const LPARAM size = MAKELPARAM(640, 480);
    MainWindowProc(window, WM_SIZE, SIZE_MINIMIZED, 0);
    MainWindowProc(window, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0);
    EXPECT_FALSE(windowActive);
    MainWindowProc(window, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 1), 0);
    MainWindowProc(window, WM_SIZE, SIZE_RESTORED, size);
    EXPECT_TRUE(windowActive) << "activation, then the size";

    MainWindowProc(window, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0);
    MainWindowProc(window, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_FALSE(windowActive);
    MainWindowProc(window, WM_SIZE, SIZE_RESTORED, size);
    MainWindowProc(window, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0);
    EXPECT_TRUE(windowActive) << "the size, then activation";

    // Another window's maximising tells a pop-up nothing of its own state.
    MainWindowProc(window, WM_SIZE, SIZE_MAXHIDE, size);
    EXPECT_TRUE(windowActive);
}

TEST_F(WindowProcTest, SizeResizesTheRenderWindow)
{
    EXPECT_EQ(MainWindowProc(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(320, 200)), 0);
    EXPECT_EQ(renderWindow.width, 320);
    EXPECT_EQ(renderWindow.height, 200);
    MainWindowProc(window, WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(0, 0));
    EXPECT_EQ(renderWindow.width, 0);
    EXPECT_EQ(renderWindow.height, 1);
}

TEST_F(WindowProcTest, CloseAsksToQuitWithExitCodeZero)
{
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(IsWindow(window)) << "the shutdown destroys the window, not the close request";
    EXPECT_TRUE(discardQueue());
}

TEST_F(WindowProcTest, ScreenSaverAndMonitorPowerAreRefused)
{
    EXPECT_EQ(SendMessageA(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 0);
    EXPECT_EQ(SendMessageA(window, WM_SYSCOMMAND, SC_MONITORPOWER, 2), 0);
    EXPECT_FALSE(IsIconic(window));

    EXPECT_FALSE(discardQueue());
}

TEST_F(WindowProcTest, OtherSystemCommandsArePassedOn)
{
    SendMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(IsIconic(window));
    SendMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(IsIconic(window));

    // The default handling of a close command sends WM_CLOSE, which asks to quit.
    discardQueue();
    SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(discardQueue());
}

} // namespace
