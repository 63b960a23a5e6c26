#include "show/frame_script.h"

#include <cmath>

#include "assets/bitmap_font.h"
#include "platform/frame_timer.h"
#include "platform/gl.h"
#include "platform/render_window.h"
#include "scene/bouncing_sphere.h"
#include "scene/camera.h"
#include "scene/ripple_surface.h"
#include "show/credits_scroller.h"
#include "show/main_phase.h"
#include "show/site.h"

std::int32_t mainPhase = 0;
float titleFade = 0.0f;

namespace {

constexpr char groupName[] = "Velmora";
constexpr char fullName[] = THOUSAND_SITE_NAME " 1000";

// A fresh reading of the clock, in seconds. The title takes one for every comparison
// and every coordinate, so a frame that straddles a boundary may show both sides of it.
double now()
{
    return static_cast<double>(frameTimer.elapsed());
}

// A jittered coordinate: truncated toward zero, never rounded.
int jitter(double amplitude, double frequency, double centre)
{
    return static_cast<int>(amplitude * std::sin(frequency * now()) + centre);
}

// The group's name, the site's name revealed word by word, and four faint ghost copies
// of both, stretched and jittering, all fading out over the title's last 0.8 seconds.
void drawTitleFrame()
{
    renderWindow.beginFrame(camera);
    renderWindow.beginOverlay();
    glEnable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);

    glColor4f(1.0f, 1.0f, 1.0f, 1.0f - titleFade);
    bitmapFont.print(40, 40, groupName);
    // Strict comparisons: at exactly 0, 1 and 2.5 seconds no stage shows.
    if (now() > 0.0 && now() < 1.0) {
        bitmapFont.print(350, 400, siteFirstWord);
    }
    if (now() > 1.0 && now() < 2.5) {
        bitmapFont.print(350, 400, siteName);
    }
    if (now() > 2.5) {
        bitmapFont.print(350, 400, fullName);
    }

    // One step per frame, so the fade's speed follows the frame rate. The texts above
    // kept the old value; the ghosts take the new one.
    if (now() > 3.6) {
        titleFade += 0.02f;
    }

    // The scale also moves the copies' positions: twice as wide first.
    glScalef(2.0f, 1.0f, 1.0f);
    glColor4f(1.0f, 1.0f, 1.0f, 0.2f - titleFade);
    bitmapFont.print(jitter(2.0, 40.0, 0.0), jitter(3.0, 30.0, 40.0), groupName);
    bitmapFont.print(jitter(3.0, 60.0, 90.0), jitter(2.0, 70.0, 400.0), fullName);

    // Scales multiply: 1.6 times as wide and 1.8 times as high from here.
    glScalef(0.8f, 1.8f, 1.0f);
    glColor4f(1.0f, 1.0f, 1.0f, 0.2f - titleFade);
    bitmapFont.print(jitter(3.0, 50.0, 20.0), jitter(2.0, 70.0, 20.0), groupName);
    bitmapFont.print(jitter(3.0, 80.0, 150.0), jitter(2.0, 50.0, 220.0), fullName);

    // Pops the overlay's matrices, scalings included.
    renderWindow.endOverlay();
    renderWindow.present();
}

} // namespace

bool DrawFrame()
{
    if (mainPhase == 0) {
        drawTitleFrame();
    } else {
        drawMainPhaseFrame();
    }

    // The frame that ends past the title's length is the last title frame; the next one
    // starts the main phase with the clock near 0.
    if (frameTimer.elapsed() > titleLength && mainPhase == 0) {
        mainPhase = 1;
        frameTimer.stop();
        frameTimer.start();
    }

    frameTimer.tick();
    return true;
}

void resetShowState()
{
    mainPhase = 0;
    titleFade = 0.0f;
    creditsScroll = 0.0f;
    scrollWrapOffset = 0.0f;
    layerDriftX = 0.0f;
    layerDriftY = 0.0f;
    // An earlier show went further in time than a new one starts, and left normals that
    // the water's first draw would use.
    bouncingSphere.lastTime = 0.0f;
    rippleSurface.clearNormals();
}
