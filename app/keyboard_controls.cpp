#include "app/keyboard_controls.h"

#include <cmath>

#include "app/scene_setup.h"
#include "platform/gl.h"
#include "platform/window_size.h"
#include "scene/camera.h"
#include "show/site.h"

float walkHeading = 0.0f;
float bobAngle = 0.0f;
bool blendToggle = false;
bool blendKeyLatch = false;

namespace {

constexpr float radiansPerDegree = 0.017453292f;
constexpr float zStep = 0.2f;
constexpr float walkStep = 0.5f;
constexpr float bobHeight = 0.05f;
constexpr float eyeHeight = -0.25f;

double sinDegrees(float angle)
{
    return std::sin(angle * radiansPerDegree);
}

double cosDegrees(float angle)
{
    return std::cos(angle * radiansPerDegree);
}

// Up walks the eye forward along the heading and steps the bob up, 10 degrees at a
// time back to 0 after 360.
void walkForward()
{
    camera.eye.x = static_cast<float>(camera.eye.x - sinDegrees(walkHeading) * walkStep);
    camera.eye.z = static_cast<float>(camera.eye.z - cosDegrees(walkHeading) * walkStep);
    bobAngle = bobAngle < 359.0f ? bobAngle + 10.0f : 0.0f;
}

// Down, Right and Left walk the eye back along the heading turned by `turn` degrees
// and step the bob down, 10 degrees at a time round to 359 below 1.
void walkBack(float turn)
{
    const float heading = walkHeading + turn;
    camera.eye.x = static_cast<float>(camera.eye.x + sinDegrees(heading) * walkStep);
    camera.eye.z = static_cast<float>(camera.eye.z + cosDegrees(heading) * walkStep);
    bobAngle = bobAngle > 1.0f ? bobAngle - 10.0f : 359.0f;
}

// Every arrow key sets the eye's height from the bob: a band of 0.05 below -0.25.
void bobHead()
{
    camera.eye.y = static_cast<float>(-(sinDegrees(bobAngle) * bobHeight) + eyeHeight);
}

} // namespace

bool handleKeys(unsigned char (&keys)[256], WindowProcedure windowProc)
{
    if (keys[virtualKey::pageUp]) {
        camera.eye.z -= zStep;
    }
    if (keys[virtualKey::pageDown]) {
        camera.eye.z += zStep;
    }

    if (keys[virtualKey::up]) {
        walkForward();
        bobHead();
    }
    if (keys[virtualKey::down]) {
        walkBack(0.0f);
        bobHead();
    }
    if (keys[virtualKey::right]) {
        walkBack(90.0f);
        bobHead();
    }
    if (keys[virtualKey::left]) {
        walkBack(-90.0f);
        bobHead();
    }

    // Once per press, however long B is held.
    if (keys[virtualKey::b] && !blendKeyLatch) {
        blendKeyLatch = true;
        blendToggle = !blendToggle;
        if (blendToggle) {
            glEnable(GL_BLEND);
            glDisable(GL_DEPTH_TEST);
        } else {
            glDisable(GL_BLEND);
            glEnable(GL_DEPTH_TEST);
        }
    }
    if (!keys[virtualKey::b]) {
        blendKeyLatch = false;
    }

    // Once per key-down message: an auto-repeat sets the entry again.
    if (keys[virtualKey::f1]) {
        keys[virtualKey::f1] = 0;
        renderWindow.close();
        renderWindow.fullscreen = !renderWindow.fullscreen;
        if (!renderWindow.open(windowTitle, windowWidth, windowHeight, windowBits, renderWindow.fullscreen,
                               windowProc)) {
            return false;
        }
        // The new context starts without the old one's textures, lists and state.
        restoreScene();
    }
    return true;
}
