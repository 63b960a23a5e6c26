#include "app/offscreen_show.h"

#include "app/scene_setup.h"
#include "platform/render_window.h"
#include "platform/window_size.h"

void startOffscreenShow()
{
    renderWindow.resize(windowWidth, windowHeight);
    renderWindow.initState();
    InitScene();
}
