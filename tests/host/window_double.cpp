#include "tests/host/window_double.h"

WindowDouble windowDouble;

bool RenderWindow::open(const char* title, int newWidth, int newHeight, int bits, bool newFullscreen,
                        WindowProcedure windowProc)
{
    ++windowDouble.opens;
    windowDouble.title = title;
    windowDouble.width = newWidth;
    windowDouble.height = newHeight;
    windowDouble.bits = bits;
    windowDouble.fullscreenAsked.push_back(newFullscreen);
    windowDouble.procedure = windowProc;
    if (!windowDouble.openSucceeds) {
        return false;
    }
    fullscreen = newFullscreen;
    if (windowDouble.context != nullptr) {
        *windowDouble.context = std::make_unique<OffscreenContext>(newWidth, newHeight);
    }
    resize(newWidth, newHeight);
    return initState();
}

void RenderWindow::close()
{
    ++windowDouble.closes;
    if (windowDouble.context != nullptr) {
        windowDouble.context->reset();
    }
}
