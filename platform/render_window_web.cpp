// The render window in a browser: the page's canvas and its WebGL 2 context, on which
// the GL layer (gl11/) answers the show's OpenGL 1.1. The page (web/page.js) owns the
// canvas's size and fullscreen; it tells the show each new layout through
// thousandLayout (app/main_web.cpp), which resizes the viewport.
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include "platform/gl.h"
#include "platform/render_window.h"

namespace {

EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;

constexpr char canvasSelector[] = "#thousand-canvas";

// The canvas's size in its own pixels, and how many of them make one pixel of the
// show's layout.
EM_JS(int, canvasWidth, (), { return Module.thousand.canvas.width; });
EM_JS(int, canvasHeight, (), { return Module.thousand.canvas.height; });
EM_JS(void, setTitle, (const char* title), { document.title = UTF8ToString(title); });
EM_JS(void, tellFailure, (const char* message), { Module.thousand.failed(UTF8ToString(message)); });

} // namespace

// The page has sized the canvas for the answer to the start-up question (and gone to
// fullscreen on a Yes, where the browser allows it); here the context is made on it.
// Without WebGL 2 the page says so and the show does not start.
bool RenderWindow::open(const char* title, int, int, int, bool wantFullscreen, WindowProcedure)
{
    fullscreen = wantFullscreen;
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    // Opaque, like a window: the show clears with an alpha of one half.
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_TRUE;
    attributes.stencil = EM_TRUE;
    attributes.antialias = EM_FALSE;
    context = emscripten_webgl_create_context(canvasSelector, &attributes);
    if (context <= 0) {
        tellFailure("This browser cannot draw with WebGL 2.");
        return false;
    }
    emscripten_webgl_make_context_current(context);
    gl11::startContext(canvasWidth(), canvasHeight());
    setTitle(title);
    resize(canvasWidth(), canvasHeight());
    return initState();
}

void RenderWindow::close()
{
    if (context > 0) {
        gl11::endContext();
        emscripten_webgl_destroy_context(context);
        context = 0;
    }
}

void RenderWindow::makeCurrent()
{
    emscripten_webgl_make_context_current(context);
}

// The browser shows the frame once the animation frame's callback returns.
void RenderWindow::swapBuffers() {}
