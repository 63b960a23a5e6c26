// A small console program that the end-to-end harness runs under Wine beside the show,
// for what only Win32 can see or do from inside Wine. It prints one line and exits with
// 0 on success, 1 when the window asked for does not exist or a call fails, and 2 on a
// usage error.
//
//     winctl [--desktop NAME] COMMAND [ARGUMENTS]
//
//     find TITLE          the window's handle and the id of its process, in hex
//     text TITLE          the text of a message box
//     client TITLE        the client area: width height left top (screen coordinates)
//     iconic TITLE        1 while the window is minimised, else 0
//     minimize TITLE      minimise the window and hand the activation on
//     restore TITLE       restore the window and bring it to the front
//     close TITLE         post WM_CLOSE, as the close button does
//     cursor              1 while the pointer is shown, else 0, then its position x y
//     mode                width height bits of the current display mode
//     run FILE PROGRAM    run PROGRAM, wait for it, then write its exit code and the
//                         display mode it left (width height bits) to FILE
//
// A Wine virtual desktop is a desktop of its own: --desktop NAME moves the helper onto
// it, so that it sees that desktop's windows, pointer and display mode.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: winctl [--desktop NAME] find|text|client|iconic|minimize|restore|close TITLE\n"
                 "       winctl [--desktop NAME] cursor|mode\n"
                 "       winctl [--desktop NAME] run FILE PROGRAM\n");
    return 2;
}

bool currentMode(DEVMODEA& mode)
{
    mode = {};
    mode.dmSize = sizeof(mode);
    return EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode) != FALSE;
}

int printCursor()
{
    CURSORINFO info = {};
    info.cbSize = sizeof(info);
    // Wine answers for the thread that owns the foreground window, so this sees the
    // show's own display counter while its window is in front.
    if (!GetCursorInfo(&info)) {
        std::fprintf(stderr, "GetCursorInfo failed: %lu\n", GetLastError());
        return 1;
    }
    POINT position = {};
    GetCursorPos(&position);
    std::printf("%d %ld %ld\n", (info.flags & CURSOR_SHOWING) ? 1 : 0, position.x, position.y);
    return 0;
}

int printMode()
{
    DEVMODEA mode;
    if (!currentMode(mode)) {
        std::fprintf(stderr, "EnumDisplaySettingsA failed\n");
        return 1;
    }
    std::printf("%lu %lu %lu\n", mode.dmPelsWidth, mode.dmPelsHeight, mode.dmBitsPerPel);
    return 0;
}

// Explorer, which starts the programs of a virtual desktop, does not pass on their exit
// codes; run stands between them and reports the exit code itself.
int runProgram(const char* resultFile, const char* program)
{
    char commandLine[MAX_PATH + 2];
    std::snprintf(commandLine, sizeof(commandLine), "\"%s\"", program);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(stderr, "CreateProcessA failed: %lu\n", GetLastError());
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    DEVMODEA mode;
    if (!currentMode(mode)) {
        mode = {};
    }
    FILE* file = std::fopen(resultFile, "w");
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", resultFile);
        return 1;
    }
    std::fprintf(file, "%lu %lu %lu %lu\n", exitCode, mode.dmPelsWidth, mode.dmPelsHeight,
                 mode.dmBitsPerPel);
    std::fclose(file);
    return 0;
}

// The commands that act on one window, named by its exact title.
int windowCommand(const char* command, const char* title)
{
    HWND window = FindWindowA(nullptr, title);
    if (!window) {
        std::fprintf(stderr, "no window titled \"%s\"\n", title);
        return 1;
    }

    if (std::strcmp(command, "find") == 0) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        std::printf("%p %04lx\n", static_cast<void*>(window), processId);
    } else if (std::strcmp(command, "text") == 0) {
        // The static control that holds a message box's text has the id 0xFFFF.
        char text[1024] = {};
        GetDlgItemTextA(window, 0xFFFF, text, sizeof(text));
        std::printf("%s\n", text);
    } else if (std::strcmp(command, "client") == 0) {
        RECT rect = {};
        GetClientRect(window, &rect);
        POINT origin = {0, 0};
        ClientToScreen(window, &origin);
        std::printf("%ld %ld %ld %ld\n", rect.right - rect.left, rect.bottom - rect.top, origin.x,
                    origin.y);
    } else if (std::strcmp(command, "iconic") == 0) {
        std::printf("%d\n", IsIconic(window) ? 1 : 0);
    } else if (std::strcmp(command, "minimize") == 0) {
        ShowWindow(window, SW_MINIMIZE);
        // Windows activates another window when the active one is minimised, and the
        // window learns of it through WM_ACTIVATE. Wine without a window manager keeps
        // the minimised window active, so the activation goes to the desktop here.
        SetForegroundWindow(GetDesktopWindow());
    } else if (std::strcmp(command, "restore") == 0) {
        ShowWindow(window, SW_RESTORE);
        SetForegroundWindow(window);
    } else if (std::strcmp(command, "close") == 0) {
        PostMessageA(window, WM_CLOSE, 0, 0);
    } else {
        return usage();
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--desktop") == 0) {
        // Only possible before the thread has made any window.
        HDESK desktop = OpenDesktopA(argv[2], 0, FALSE, GENERIC_ALL);
        if (!desktop || !SetThreadDesktop(desktop)) {
            std::fprintf(stderr, "cannot use the desktop \"%s\"\n", argv[2]);
            return 1;
        }
        first = 3;
    }
    const int count = argc - first;
    const char* command = count > 0 ? argv[first] : "";

    if (count == 1 && std::strcmp(command, "cursor") == 0) {
        return printCursor();
    }
    if (count == 1 && std::strcmp(command, "mode") == 0) {
        return printMode();
    }
    if (count == 3 && std::strcmp(command, "run") == 0) {
        return runProgram(argv[first + 1], argv[first + 2]);
    }
    if (count == 2) {
        return windowCommand(command, argv[first + 1]);
    }
    return usage();
}
