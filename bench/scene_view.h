#pragma once

#include "app/scene_setup.h"
#include "platform/render_window.h"

// The show's 640 x 480 view with the scene as the set-up leaves it, in the current
// off-screen context.
inline void setUpSceneView()
{
    renderWindow.resize(640, 480);
    renderWindow.initState();
    InitScene();
}
