// The single instances for the Win32 tests, in the program's order.
#include <windows.h>

#include "assets/bitmap_font.h"
#include "assets/texture_registry.h"
#include "platform/cursor_control.h"
#include "platform/frame_timer.h"
#include "platform/music_player.h"
#include "platform/render_window.h"
#include "scene/bouncing_sphere.h"
#include "scene/camera.h"
#include "scene/ripple_surface.h"

HDC screenDC = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
BouncingSphere bouncingSphere;
RippleSurface rippleSurface;
TextureRegistry textureRegistry;
FrameTimer frameTimer;
CursorControl cursorControl;
RenderWindow renderWindow;
Camera camera;
BitmapFont bitmapFont(16);
MusicPlayer musicPlayer;
