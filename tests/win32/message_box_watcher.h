#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

// Answers the message boxes that this process shows while it lives, from a thread of
// its own, so that code which asks the user can be tested. Boxes are answered in the
// order given; a box beyond the answers is dismissed with IDCANCEL. Every box is
// recorded with its caption and text.
class MessageBoxWatcher {
public:
    struct Box {
        std::string caption;
        std::string text;
        bool operator==(const Box& other) const { return caption == other.caption && text == other.text; }
        friend void PrintTo(const Box& box, std::ostream* out) { *out << '"' << box.caption << "\": \"" << box.text << '"'; }
    };

    explicit MessageBoxWatcher(std::vector<int> answers = {});
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    std::vector<Box> seen();

private:
    void watch();

    std::vector<int> answers_;
    std::vector<Box> seen_;
    std::vector<HWND> answered_;
    std::mutex mutex_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
