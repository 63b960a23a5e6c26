#pragma once

#include <string>

#include "app/offscreen_show.h"
#include "assets/texture_registry_offscreen.h"
#include "show/frame_script.h"
#include "tests/host/test_clock.h"

// Puts the show back to where the program starts it, in the current 640 x 480 context:
// the program's pictures, the show's state as at start, the test clock at 0 read as
// often as wanted, and the scene set up.
inline bool startShow()
{
    if (!addProgramBitmaps(PICTURES_DIR)) {
        return false;
    }
    resetShowState();
    testClock::advancePerRead = 0;
    testClock::setSeconds(0.0);
    startOffscreenShow();
    return true;
}
