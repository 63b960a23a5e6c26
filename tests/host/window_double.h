#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/offscreen_context.h"
#include "platform/render_window.h"

// The host's stand-in for the Win32 half of the render window, open and close: it
// records what it was asked. With `context` set, close destroys that off-screen context
// and open makes a new one in its place, as a mode switch replaces the window's
// rendering context; open then fits the view and sets the base state as the real one
// does.
struct WindowDouble {
    int opens = 0;
    int closes = 0;
    bool openSucceeds = true;
    std::string title;
    int width = 0;
    int height = 0;
    int bits = 0;
    std::vector<bool> fullscreenAsked;
    WindowProcedure procedure = nullptr;
    std::unique_ptr<OffscreenContext>* context = nullptr;
};

extern WindowDouble windowDouble;
