#pragma once

#include <string>

#include "app/scene_setup.h"
#include "assets/texture_registry_offscreen.h"
#include "platform/render_window.h"
#include "scene/bouncing_sphere.h"
#include "scene/ripple_surface.h"
#include "show/credits_scroller.h"
#include "show/frame_script.h"
#include "show/main_phase.h"
#include "tests/host/test_clock.h"

// Puts the show back to where the program starts it, in the current 640 x 480 context:
// the program's pictures, the show's statics as at start, the test clock at 0 read as
// often as wanted, and the scene set up.
inline bool startShow()
{
    if (!addProgramBitmaps(PICTURES_DIR)) {
        return false;
    }
    mainPhase = 0;
    titleFade = 0.0f;
    creditsScroll = 0.0f;
    scrollWrapOffset = 0.0f;
    layerDriftX = 0.0f;
    layerDriftY = 0.0f;
    // Earlier draws in the process went further in time than a new show starts, and
    // left normals that the water's first draw would use.
    bouncingSphere.lastTime = 0.0f;
    for (auto& row : rippleSurface.normals) {
        for (Vec3& normal : row) {
            normal = Vec3{0.0f, 0.0f, 0.0f};
        }
    }
    testClock::advancePerRead = 0;
    testClock::setSeconds(0.0);
    renderWindow.resize(640, 480);
    renderWindow.initState();
    InitScene();
    return true;
}
