#include "app/offscreen_show.h"

#include "app/scene_setup.h"
#include "platform/render_window.h"
#include "platform/window_size.h"

void startOffscreenShow(int scale)
{
    renderWindow.overlayScale = scale;
    renderWindow.resize(windowWidth * scale, windowHeight * scale);
    renderWindow.initState();
    InitScene();
}
