#include "show/frame_script.h"

#include "platform/frame_timer.h"
#include "platform/render_window.h"
#include "scene/camera.h"

// For now a frame is the camera's view cleared to the frame colour.
bool DrawFrame()
{
    renderWindow.beginFrame(camera);
    renderWindow.present();
    frameTimer.tick();
    return true;
}
