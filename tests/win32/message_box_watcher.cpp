#include "tests/win32/message_box_watcher.h"

#include <algorithm>

namespace {

// The control that holds a message box's text.
const int messageTextId = 0xFFFF;

struct Search {
    DWORD process;
    std::vector<HWND> boxes;
};

BOOL CALLBACK collectBox(HWND window, LPARAM parameter)
{
    Search& search = *reinterpret_cast<Search*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[16] = {};
    GetClassNameA(window, className, sizeof(className));
    if (process == search.process && std::string(className) == "#32770" && IsWindowVisible(window)) {
        search.boxes.push_back(window);
    }
    return TRUE;
}

} // namespace

MessageBoxWatcher::MessageBoxWatcher(std::vector<int> answers)
    : answers_(std::move(answers)), thread_([this] { watch(); })
{
}

MessageBoxWatcher::~MessageBoxWatcher()
{
    stopping_ = true;
    thread_.join();
}

std::vector<MessageBoxWatcher::Box> MessageBoxWatcher::seen()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

void MessageBoxWatcher::watch()
{
    while (!stopping_) {
        Search search{GetCurrentProcessId(), {}};
        EnumWindows(collectBox, reinterpret_cast<LPARAM>(&search));
        for (HWND box : search.boxes) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (std::find(answered_.begin(), answered_.end(), box) != answered_.end()) {
                continue;
            }
            char caption[256] = {};
            char text[512] = {};
            GetWindowTextA(box, caption, sizeof(caption));
            // A box may show before its text is in place: give it a moment.
            for (int attempt = 0; attempt < 50 && text[0] == '\0'; ++attempt) {
                GetDlgItemTextA(box, messageTextId, text, sizeof(text));
                if (text[0] == '\0') {
                    Sleep(10);
                }
            }
            seen_.push_back(Box{caption, text});
            const std::size_t index = seen_.size() - 1;
            const int answer = index < answers_.size() ? answers_[index] : IDCANCEL;
            answered_.push_back(box);
            PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
        }
        // Forget boxes that have gone, so that a reused handle counts as a new box.
        {
            std::lock_guard<std::mutex> lock(mutex_);
            answered_.erase(std::remove_if(answered_.begin(), answered_.end(),
                                           [](HWND box) { return !IsWindow(box); }),
                            answered_.end());
        }
        Sleep(20);
    }
}
