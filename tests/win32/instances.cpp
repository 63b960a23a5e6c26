// The single instances for the Win32 tests, in the program's order.
#include "platform/cursor_control.h"
#include "platform/frame_timer.h"
#include "platform/music_player.h"
#include "platform/render_window.h"
#include "scene/camera.h"

FrameTimer frameTimer;
CursorControl cursorControl;
RenderWindow renderWindow;
Camera camera;
MusicPlayer musicPlayer;
