#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "app/keyboard_controls.h"
#include "platform/gl.h"
#include "platform/offscreen_context.h"
#include "platform/render_window.h"
#include "scene/camera.h"
#include "show/frame_script.h"
#include "show/site.h"
#include "tests/host/pixel_probe.h"
#include "tests/host/show_start.h"
#include "tests/host/test_clock.h"
#include "tests/host/window_double.h"

namespace {

using namespace virtualKey;

long fakeWindowProc(HWND__*, unsigned int, unsigned long, long)
{
    return 0;
}

// The keys on a table that the test fills, with the camera where the set-up puts it.
class KeyboardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memset(keys, 0, sizeof keys);
        camera.eye = Vec3{35.0f, 30.0f, 50.0f};
        bobAngle = 0.0f;
        blendToggle = false;
        blendKeyLatch = false;
        windowDouble = WindowDouble{};
    }

    // One pass of the main loop's key handling with `held` down.
    void pass(std::initializer_list<int> held)
    {
        for (int key : held) {
            keys[key] = 1;
        }
        EXPECT_TRUE(handleKeys(keys, fakeWindowProc));
        for (int key : held) {
            keys[key] = 0;
        }
    }

    unsigned char keys[256];
    OffscreenContext context;
};


TEST_F(KeyboardTest, PageKeysMoveTheEyeAlongZAndArrowsWalkIt)
{
    pass({pageUp});
    EXPECT_EQ(camera.eye.z, 50.0f - 0.2f);
    EXPECT_EQ(camera.eye.y, 30.0f) << "the page keys leave the height";
    pass({pageDown});
    pass({pageDown});
    EXPECT_FLOAT_EQ(camera.eye.z, 50.2f);

    // With the heading at 0: Up toward -z, Down toward +z, Right +x, Left -x, each 0.5,
    // and the first arrow sets the height into the bob's band.
    camera.eye = Vec3{35.0f, 30.0f, 50.0f};
    pass({up});
    EXPECT_EQ(camera.eye.x, 35.0f);
    EXPECT_EQ(camera.eye.z, 49.5f);
    EXPECT_EQ(bobAngle, 10.0f);
    // 0.05 sin 10 degrees below -0.25.
    EXPECT_NEAR(camera.eye.y, -0.2586824f, 1e-6f);
    pass({right});
    EXPECT_NEAR(camera.eye.x, 35.5f, 1e-6f);
    EXPECT_NEAR(camera.eye.z, 49.5f, 1e-6f);
    EXPECT_EQ(bobAngle, 0.0f);
    pass({left});
    EXPECT_NEAR(camera.eye.x, 35.0f, 1e-6f);
    EXPECT_EQ(bobAngle, 359.0f);
    pass({down});
    EXPECT_NEAR(camera.eye.z, 50.0f, 1e-6f);
    EXPECT_EQ(bobAngle, 349.0f);
    // sin 349 degrees is negative: above -0.25 by 0.05 sin 11 degrees.
    EXPECT_NEAR(camera.eye.y, -0.2404596f, 1e-6f);

    // Up and Down together: no movement, both bob steps, Up's first.
    bobAngle = 0.0f;
    const Vec3 before = camera.eye;
    for (int i = 0; i < 5; ++i) {
        pass({up, down});
        EXPECT_EQ(bobAngle, 0.0f);
    }
    EXPECT_NEAR(camera.eye.x, before.x, 1e-5f);
    EXPECT_NEAR(camera.eye.z, before.z, 1e-5f);
    EXPECT_FLOAT_EQ(camera.eye.y, -0.25f);
}

TEST_F(KeyboardTest, TheBobRunsRoundInTenDegreeSteps)
{
    std::vector<float> forward;
    for (int i = 0; i < 38; ++i) {
        pass({up});
        forward.push_back(bobAngle);
        EXPECT_GE(camera.eye.y, -0.30f);
        EXPECT_LE(camera.eye.y, -0.20f);
    }
    // 10, 20, ..., 360, then 0 and 10 again.
    for (int i = 0; i < 36; ++i) {
        EXPECT_EQ(forward[i], 10.0f * (i + 1)) << i;
    }
    EXPECT_EQ(forward[36], 0.0f);
    EXPECT_EQ(forward[37], 10.0f);

    bobAngle = 0.0f;
    std::vector<float> back;
    for (int i = 0; i < 39; ++i) {
        pass({i % 3 == 0 ? down : (i % 3 == 1 ? right : left)});
        back.push_back(bobAngle);
        EXPECT_GE(camera.eye.y, -0.30f);
        EXPECT_LE(camera.eye.y, -0.20f);
    }
    // 359, 349, ..., 9, -1, then 359 again.
    for (int i = 0; i < 37; ++i) {
        EXPECT_EQ(back[i], 359.0f - 10.0f * i) << i;
    }
    EXPECT_EQ(back[37], 359.0f);
}

TEST_F(KeyboardTest, BSwitchesBlendingAndDepthOncePerPress)
{
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    keys[virtualKey::b] = 1;
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(handleKeys(keys, fakeWindowProc));
        EXPECT_TRUE(blendToggle) << "held for " << i + 1 << " passes";
        EXPECT_TRUE(glIsEnabled(GL_BLEND));
        EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    }
    EXPECT_EQ(keys[virtualKey::b], 1) << "the key's state is left alone";
    keys[virtualKey::b] = 0;
    pass({});
    EXPECT_FALSE(blendKeyLatch);
    pass({virtualKey::b});
    EXPECT_FALSE(blendToggle);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(camera.eye.z, 50.0f);
}

TEST_F(KeyboardTest, F1ReopensInTheOtherModeOncePerKeyDown)
{
    renderWindow.fullscreen = false;
    keys[f1] = 1;
    ASSERT_TRUE(handleKeys(keys, fakeWindowProc));
    EXPECT_EQ(keys[f1], 0) << "the press is consumed";
    EXPECT_EQ(windowDouble.closes, 1);
    ASSERT_EQ(windowDouble.opens, 1);
    EXPECT_EQ(windowDouble.title, windowTitle);
    EXPECT_EQ(windowDouble.width, 640);
    EXPECT_EQ(windowDouble.height, 480);
    EXPECT_EQ(windowDouble.bits, 32);
    EXPECT_EQ(windowDouble.procedure, &fakeWindowProc);
    ASSERT_TRUE(handleKeys(keys, fakeWindowProc));
    EXPECT_EQ(windowDouble.opens, 1) << "nothing more until the next key-down";

    // The next press sets the entry again: back to windowed.
    keys[f1] = 1;
    ASSERT_TRUE(handleKeys(keys, fakeWindowProc));
    EXPECT_EQ(windowDouble.fullscreenAsked, (std::vector<bool>{true, false}));
    EXPECT_FALSE(renderWindow.fullscreen);

    // A window that cannot be opened again ends the program.
    windowDouble.openSucceeds = false;
    keys[f1] = 1;
    EXPECT_FALSE(handleKeys(keys, fakeWindowProc));
    EXPECT_EQ(windowDouble.opens, 3);
}

// The show drawn at 30 frames per second to `seconds`, a mode switch or a press of B at
// `keyAt` (none when negative); the last frame's pixels.
std::vector<OffscreenContext::Rgba> showUntil(double seconds, int key, double keyAt)
{
    auto context = std::make_unique<OffscreenContext>();
    windowDouble = WindowDouble{};
    windowDouble.context = &context;
    blendToggle = false;
    blendKeyLatch = false;
    camera.eye = Vec3{35.0f, 30.0f, 50.0f};
    if (!startShow()) {
        return {};
    }
    unsigned char keys[256] = {};
    for (int frame = 0; frame / 30.0 <= seconds; ++frame) {
        const double t = frame / 30.0;
        testClock::setSeconds(t);
        DrawFrame();
        keys[key] = keyAt >= 0.0 && std::fabs(t - keyAt) < 1e-9 ? 1 : 0;
        if (!handleKeys(keys, fakeWindowProc)) {
            return {};
        }
    }
    return sampledPixels(*context);
}


// After F1 the new context shows exactly what the old one would have: the textures, the
// font, the light and the scene's state are made again, and the clock, the water and
// the scroll go on. B changes no pixel, in the title or in the main phase.
TEST(KeysKeepTheShow, AModeSwitchOrBChangesNoPixel)
{
    for (double seconds : {3.0, 6.0}) {
        const auto plain = showUntil(seconds, f1, -1.0);
        ASSERT_EQ(plain.size(), 320u * 240u);
        const auto switched = showUntil(seconds, f1, seconds - 0.5);
        ASSERT_EQ(windowDouble.opens, 1);
        EXPECT_EQ(differingPixels(plain, switched), 0) << "F1 half a second before " << seconds << " s";
        const auto blended = showUntil(seconds, virtualKey::b, 1.0);
        EXPECT_TRUE(blendToggle);
        EXPECT_EQ(differingPixels(plain, blended), 0) << "B at 1 s, seen at " << seconds << " s";
        // The measure sees what the show draws: a second earlier the frame differs.
        EXPECT_GT(differingPixels(plain, showUntil(seconds - 1.0, f1, -1.0)), 1000) << seconds << " s";
    }
}

} // namespace
