// The show on a web page: the single instances (app/instances.inc) on the browser's
// clock, the start once the page's question has been answered, one frame per display
// refresh, the keys from the page's keyboard events, and the end on Escape. The page
// itself (web/page.js) asks the question, sizes the canvas, goes to fullscreen and
// makes the sound; it calls in through the functions at the end of this file.
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "app/key_table.h"
#include "app/keyboard_controls.h"
#include "app/scene_setup.h"
#include "assets/texture_registry_offscreen.h"
#include "platform/gl.h"
#include "platform/music_player.h"
#include "platform/page_web.h"
#include "platform/render_window.h"
#include "platform/window_size.h"
#include "resources/resource_numbers.h"
#include "scene/camera.h"
#include "show/frame_script.h"
#include "show/site.h"

namespace {

// The browser's monotonic clock in microseconds; or, for tests and recordings, a clock
// that moves exactly 1 / fps seconds per frame drawn (the page's #fps=N).
int fixedRate = 0;
std::int64_t framesDrawn = 0;

std::int64_t readClock()
{
    if (fixedRate > 0) {
        return framesDrawn * 1000000 / fixedRate;
    }
    return static_cast<std::int64_t>(std::llround(emscripten_get_now() * 1000.0));
}

} // namespace

#define THOUSAND_FRAME_TIMER_TICKS (TickSource{1000000, readClock})
#include "app/instances.inc"

namespace {

// Win32's virtual-key codes of the keys the show answers; the page's keyCode is the same.
constexpr int escapeKey = 0x1B;
constexpr int f1Key = 0x70;

bool showRunning = false;
// The frames whose pixels the page asked for, read once at the start.
std::vector<int> shotFrames;

EM_JS(int, pageFixedRate, (), { return Module.thousand.fps | 0; });
EM_JS(int, pageShotCount, (), { return Module.thousand.shots.length; });
EM_JS(int, pageShotFrame, (int index), { return Module.thousand.shots[index] | 0; });
EM_JS(void, pageTakeShot, (int frame, const unsigned char* rgba, int width, int height), {
    Module.thousand.shot(frame, HEAPU8.slice(rgba, rgba + width * height * 4), width, height);
});
EM_JS(void, pageShowEnded, (), { Module.thousand.ended(); });
EM_JS(void, pageFrameDrawn, (int frames, double milliseconds, float eyeX, float eyeY, float eyeZ, int blend), {
    Module.thousand.drawn(frames, milliseconds, [eyeX, eyeY, eyeZ], blend != 0);
});
EM_JS(void, pageToggleFullscreen, (), { Module.thousand.toggleFullscreen(); });

// The keys the show takes: their default actions (scrolling, the browser's help) are
// prevented. Every other key keeps its meaning for the browser.
bool isShowKey(int key)
{
    return key == escapeKey || key == f1Key || key == virtualKey::pageUp || key == virtualKey::pageDown ||
           (key >= virtualKey::left && key <= virtualKey::down) || key == virtualKey::b;
}

EM_BOOL onKeyDown(int, const EmscriptenKeyboardEvent* event, void*)
{
    const int key = static_cast<int>(event->keyCode);
    if (!showRunning || !isShowKey(key) || event->ctrlKey || event->altKey || event->metaKey) {
        return EM_FALSE;
    }
    // F1 switches here, inside the key's own event, where a browser allows fullscreen;
    // the page keeps the show's context, so nothing needs making again.
    if (key == f1Key) {
        if (!event->repeat) {
            pageToggleFullscreen();
        }
        return EM_TRUE;
    }
    keyPressed(key, event->repeat != 0);
    return EM_TRUE;
}

EM_BOOL onKeyUp(int, const EmscriptenKeyboardEvent* event, void*)
{
    keyReleased(static_cast<int>(event->keyCode));
    return isShowKey(static_cast<int>(event->keyCode)) ? EM_TRUE : EM_FALSE;
}

// A page that loses the focus or is hidden lets go of every key: their releases go
// elsewhere.
EM_BOOL onBlur(int, const EmscriptenFocusEvent*, void*)
{
    clearKeys();
    return EM_FALSE;
}

EM_BOOL onVisibilityChange(int, const EmscriptenVisibilityChangeEvent* event, void*)
{
    if (event->hidden) {
        clearKeys();
    }
    return EM_FALSE;
}

// Reads the frame back for the page when it asked for this one (tests and recordings).
void offerShot()
{
    const int frame = static_cast<int>(framesDrawn);
    if (std::find(shotFrames.begin(), shotFrames.end(), frame) == shotFrames.end()) {
        return;
    }
    const int width = renderWindow.width;
    const int height = renderWindow.height;
    const std::size_t row = static_cast<std::size_t>(width) * 4;
    static std::vector<unsigned char> rows;
    static std::vector<unsigned char> pixels;
    rows.resize(row * static_cast<std::size_t>(height));
    pixels.resize(rows.size());
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
    // Top row first, as the window counts them.
    for (int y = 0; y < height; ++y) {
        std::copy_n(&rows[row * static_cast<std::size_t>(height - 1 - y)], row,
                    &pixels[row * static_cast<std::size_t>(y)]);
    }
    pageTakeShot(frame, pixels.data(), width, height);
}

// The end on Escape: the music stops and the last frame stands. The page's next show
// is another instance of the program, with listeners of its own.
void endShow()
{
    showRunning = false;
    musicPlayer.stop();
    clearKeys();
    emscripten_html5_remove_all_event_listeners();
    pageShowEnded();
}

// One pass of the program's main loop per display refresh: a frame, then Escape, then
// the keys.
EM_BOOL frame(double, void*)
{
    if (!showRunning) {
        return EM_FALSE;
    }
    // How long the frame took to draw, its GL work finished (present waits for it).
    const double began = emscripten_get_now();
    DrawFrame();
    const double took = emscripten_get_now() - began;
    offerShot();
    ++framesDrawn;
    if (KeyState[escapeKey]) {
        endShow();
        return EM_FALSE;
    }
    handleKeys(KeyState, nullptr);
    keysPolled();
    // The eye and the blending switch as the keys have left them for the next frame.
    pageFrameDrawn(static_cast<int>(framesDrawn), took, camera.eye.x, camera.eye.y, camera.eye.z,
                   blendToggle ? 1 : 0);
    return EM_TRUE;
}

} // namespace

extern "C" {

// Starts the show once the page's question has been answered: `fullscreen` is the
// answer, and the page has sized the canvas for it.
EMSCRIPTEN_KEEPALIVE int thousandStart(int fullscreen)
{
    fixedRate = pageFixedRate();
    for (int i = 0; i < pageShotCount(); ++i) {
        shotFrames.push_back(pageShotFrame(i));
    }
    for (int number : {swirlBitmap, cloudBitmap, burstBitmap, glyphsBitmap, bannerBitmap}) {
        std::vector<unsigned char> bytes = pageResource(number);
        if (!bytes.empty()) {
            offscreenBitmaps()[number].assign(bytes.begin(), bytes.end());
        }
    }
    if (!renderWindow.open(windowTitle, windowWidth, windowHeight, windowBits, fullscreen != 0, nullptr)) {
        return 0;
    }
    InitScene();
    musicPlayer.play();

    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, onKeyDown);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, onKeyUp);
    emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, onBlur);
    emscripten_set_visibilitychange_callback(nullptr, EM_FALSE, onVisibilityChange);
    showRunning = true;
    emscripten_request_animation_frame_loop(frame, nullptr);
    return 1;
}

// The page has laid the canvas out anew (fullscreen or back in the page): `scale`
// pixels of the canvas to one of the show's layout.
EMSCRIPTEN_KEEPALIVE void thousandLayout(int width, int height, int scale, int fullscreen)
{
    renderWindow.fullscreen = fullscreen != 0;
    renderWindow.overlayScale = scale;
    renderWindow.resize(width, height);
    // The base state sets the overlay's line width from the scale.
    glLineWidth(static_cast<GLfloat>(scale));
}

} // extern "C"

int main()
{
    // The show starts when the page calls thousandStart.
    return 0;
}
