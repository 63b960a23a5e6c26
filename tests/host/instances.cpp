// The single instances for the host tests, in the program's order, with a frame timer
// on the test clock.
#include "assets/bitmap_font.h"
#include "assets/texture_registry.h"
#include "platform/frame_timer.h"
#include "platform/music_player.h"
#include "platform/render_window.h"
#include "scene/bouncing_sphere.h"
#include "scene/camera.h"
#include "scene/ripple_surface.h"
#include "tests/host/test_clock.h"

namespace testClock {
std::int64_t now = 0;
std::int64_t advancePerRead = 0;
std::int64_t read()
{
    const std::int64_t reading = now;
    now += advancePerRead;
    return reading;
}
} // namespace testClock

BouncingSphere bouncingSphere;
RippleSurface rippleSurface;
TextureRegistry textureRegistry;
FrameTimer frameTimer(TickSource{testClock::frequency, testClock::read});
RenderWindow renderWindow;
Camera camera;
BitmapFont bitmapFont(16);
// On a null output that tests pump, with the resources they put in offscreenMusic().
MusicPlayer musicPlayer;
