#include "show/frame_script.h"

#include "assets/bitmap_font.h"
#include "platform/frame_timer.h"
#include "platform/gl.h"
#include "platform/render_window.h"
#include "scene/camera.h"

namespace {

// The title's texts over the frame colour: the group's name, and the site's name
// revealed word by word. Every comparison reads the clock afresh.
void drawTitleFrame()
{
    renderWindow.beginFrame(camera);
    renderWindow.beginOverlay();
    glEnable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    bitmapFont.print(40, 40, "Velmora");
    if (frameTimer.elapsed() > 0.0L && frameTimer.elapsed() < 1.0L) {
        bitmapFont.print(350, 400, "Dolven");
    }
    if (frameTimer.elapsed() > 1.0L && frameTimer.elapsed() < 2.5L) {
        bitmapFont.print(350, 400, "Dolven Quarn");
    }
    if (frameTimer.elapsed() > 2.5L) {
        bitmapFont.print(350, 400, "Dolven Quarn 1000");
    }
    renderWindow.endOverlay();
    renderWindow.present();
}

} // namespace

// For now every frame is a title frame.
bool DrawFrame()
{
    drawTitleFrame();
    frameTimer.tick();
    return true;
}
