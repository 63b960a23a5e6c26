// The single instances for the benchmarks, with a frame timer on the steady clock.
#include <chrono>

#include "assets/bitmap_font.h"
#include "assets/texture_registry.h"
#include "platform/frame_timer.h"
#include "platform/music_player.h"
#include "platform/render_window.h"
#include "scene/bouncing_sphere.h"
#include "scene/camera.h"
#include "scene/ripple_surface.h"

namespace {
std::int64_t steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

BouncingSphere bouncingSphere;
RippleSurface rippleSurface;
TextureRegistry textureRegistry;
FrameTimer frameTimer(TickSource{1000000000, steadyNanoseconds});
RenderWindow renderWindow;
Camera camera;
BitmapFont bitmapFont(16);
MusicPlayer musicPlayer;
