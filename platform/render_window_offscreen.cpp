// The render window's platform hooks for off-screen rendering on the host (tests,
// benchmarks, tools): whoever made the off-screen context keeps it current, and the
// finished frame stays in its buffer to be read back.
#include "platform/render_window.h"

void RenderWindow::makeCurrent() {}

void RenderWindow::swapBuffers() {}
