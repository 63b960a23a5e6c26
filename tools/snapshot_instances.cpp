// The single instances for the snapshot tool, in the program's order, with a frame
// timer on the tool's own clock.
#include "assets/bitmap_font.h"
#include "assets/texture_registry.h"
#include "platform/frame_timer.h"
#include "platform/music_player.h"
#include "platform/render_window.h"
#include "scene/bouncing_sphere.h"
#include "scene/camera.h"
#include "scene/ripple_surface.h"
#include "tools/snapshot_clock.h"

namespace snapshotClock {
std::int64_t now = 0;
} // namespace snapshotClock

namespace {
std::int64_t readSnapshotClock()
{
    return snapshotClock::now;
}
} // namespace

BouncingSphere bouncingSphere;
RippleSurface rippleSurface;
TextureRegistry textureRegistry;
FrameTimer frameTimer(TickSource{snapshotClock::frequency, readSnapshotClock});
RenderWindow renderWindow;
Camera camera;
BitmapFont bitmapFont(16);
// Silent: nothing pumps its output.
MusicPlayer musicPlayer;
