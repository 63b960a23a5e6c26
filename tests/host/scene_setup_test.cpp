#include <gtest/gtest.h>

#include "app/scene_setup.h"
#include "platform/frame_timer.h"
#include "platform/render_window.h"
#include "scene/camera.h"
#include "tests/host/gl_context.h"
#include "tests/host/test_clock.h"

namespace {

// What a freshly opened window has after the scene set-up: the state that every
// drawing step of the show starts from.
TEST(SceneSetupTest, LeavesTheStateTheShowStartsFrom)
{
    OffscreenContext context;
    renderWindow.resize(640, 480);
    renderWindow.initState();
    testClock::setSeconds(7.0);
    InitScene();

    EXPECT_EQ(camera.eye.y, 30.0f);
    EXPECT_EQ(camera.target.z, 25.0f);
    EXPECT_EQ(camera.nearDistance, 0.1f);
    EXPECT_TRUE(frameTimer.running);
    EXPECT_EQ(frameTimer.elapsed(), 0.0L) << "the clock starts with the set-up";

    struct Capability {
        GLenum name;
        bool enabled;
    };
    const Capability capabilities[] = {
        {GL_DEPTH_TEST, true}, {GL_BLEND, true},   {GL_COLOR_MATERIAL, true}, {GL_LIGHTING, true},
        {GL_LIGHT1, true},     {GL_LIGHT0, false}, {GL_TEXTURE_2D, false},    {GL_STENCIL_TEST, false},
    };
    for (const Capability& capability : capabilities) {
        EXPECT_EQ(glIsEnabled(capability.name) == GL_TRUE, capability.enabled) << std::hex << capability.name;
    }

    GLint source = 0;
    GLint destination = 0;
    glGetIntegerv(GL_BLEND_SRC, &source);
    glGetIntegerv(GL_BLEND_DST, &destination);
    EXPECT_EQ(source, GL_SRC_ALPHA);
    EXPECT_EQ(destination, GL_ONE);

    // Given under the identity model-view, the light stays at (60, 60, 60) in eye space.
    GLfloat position[4];
    glGetLightfv(GL_LIGHT1, GL_POSITION, position);
    EXPECT_FLOAT_EQ(position[0], 60.0f);
    EXPECT_FLOAT_EQ(position[1], 60.0f);
    EXPECT_FLOAT_EQ(position[2], 60.0f);
    EXPECT_FLOAT_EQ(position[3], 1.0f);

    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[3], 1.0f);
}

} // namespace
