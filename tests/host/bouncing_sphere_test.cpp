#include <gtest/gtest.h>

#include <cmath>

#include "platform/offscreen_context.h"
#include "scene/bouncing_sphere.h"
#include "tests/host/gl_recorder.h"

namespace {

constexpr double pi = 3.14159265358979323846;

// Zeroed, as the program's static instance is, and set up.
struct SetUpSphere {
    OffscreenContext context;
    BouncingSphere sphere{};
    SetUpSphere() { sphere.setup(7, 9); }
};

TEST(BouncingSphere, MotionAtTheBottomAndTheTop)
{
    SetUpSphere s;
    BouncingSphere& sphere = s.sphere;
    EXPECT_EQ(sphere.stretch, 1.0);
    EXPECT_EQ(sphere.stretchVelocity, 0.0);
    EXPECT_FALSE(sphere.contact);
    EXPECT_EQ(sphere.lift, 0.0f);
    EXPECT_NE(sphere.quadric, nullptr);

    // At time 0: at the bottom, raised to 0.85, kicked, damped and pulled; no time has
    // passed, so the shape is still round.
    sphere.draw(0.0f);
    EXPECT_EQ(sphere.lift, 0.85f);
    EXPECT_TRUE(sphere.contact);
    EXPECT_NEAR(sphere.stretchVelocity, -0.297, 1e-12);
    EXPECT_EQ(sphere.stretch, 1.0);

    // The same time again: the spring is damped and pulled once more, the shape stays.
    sphere.draw(0.0f);
    EXPECT_NEAR(sphere.stretchVelocity, (-0.297 - 0.15) * 0.98 - 0.15, 1e-12);
    EXPECT_EQ(sphere.stretch, 1.0);

    // A consumer that clears contact sees it again after the next draw at the bottom.
    sphere.contact = false;
    sphere.draw(0.01f);
    EXPECT_TRUE(sphere.contact);
    EXPECT_LT(sphere.stretch, 1.0) << "squashing";

    // At the top: no kick, no contact.
    sphere.stretch = 0.85;
    sphere.stretchVelocity = 0.0;
    sphere.draw(static_cast<float>(pi / 2));
    EXPECT_FLOAT_EQ(sphere.lift, 1.95f);
    EXPECT_FALSE(sphere.contact);
    EXPECT_EQ(sphere.stretchVelocity, 0.0) << "at rest away from the bottom";
    EXPECT_EQ(sphere.stretch, 0.85);
    EXPECT_EQ(sphere.lastTime, static_cast<float>(pi / 2));
}

// Contact holds while |sin t| < 1/12, within about 0.0834 s of each multiple of pi; the
// kick acts while |sin t| < 0.25, and never otherwise.
TEST(BouncingSphere, ContactWindowsAroundEveryBottom)
{
    SetUpSphere s;
    BouncingSphere& sphere = s.sphere;
    const double kickEdge = std::asin(0.25);
    for (double offset : {kickEdge - 0.002, kickEdge + 0.002}) {
        sphere.stretch = 0.85;
        sphere.stretchVelocity = 0.0;
        sphere.lastTime = static_cast<float>(pi + offset);
        sphere.draw(static_cast<float>(pi + offset));
        EXPECT_EQ(sphere.stretchVelocity < 0.0, offset < kickEdge) << offset;
    }
    for (int bottom = 0; bottom <= 3; ++bottom) {
        const double centre = bottom * pi;
        const double edge = std::asin(1.0 / 12.0);
        const struct {
            double offset;
            bool contact;
        } cases[] = {{0.0, true}, {edge - 0.002, true}, {-(edge - 0.002), true}, {edge + 0.002, false},
                     {-(edge + 0.002), false}, {0.5, false}};
        for (const auto& c : cases) {
            const double time = centre + c.offset;
            if (time < 0.0) {
                continue;
            }
            sphere.draw(static_cast<float>(time));
            EXPECT_EQ(sphere.contact, c.contact) << "at " << time;
            EXPECT_GE(sphere.lift, 0.85f);
        }
    }
}

// Both passes on the one quadric, each in its own state, the sphere placed above the
// splash; afterwards the state that the overlay builds on.
TEST(BouncingSphere, DrawsTwoPassesAndLeavesItsState)
{
    SetUpSphere s;
    BouncingSphere& sphere = s.sphere;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_COLOR, GL_ONE);

    GlRecorder recorder;
    sphere.draw(static_cast<float>(pi / 2));
    ASSERT_EQ(recorder.spheres.size(), 2u);
    for (const GlRecorder::Sphere& pass : recorder.spheres) {
        EXPECT_EQ(pass.quadric, sphere.quadric);
        EXPECT_EQ(pass.radius, 1.0);
        EXPECT_EQ(pass.slices, 16);
        EXPECT_EQ(pass.stacks, 16);
        EXPECT_TRUE(pass.textureGenS && pass.textureGenT);
        // Centred 4.9 x 1.95 above the base point (25, -0.5, 25), 6 units wide, 6 x
        // stretch tall.
        EXPECT_FLOAT_EQ(pass.modelView[12], 25.0f);
        EXPECT_NEAR(pass.modelView[13], -0.5 + 4.9 * 1.95, 1e-4);
        EXPECT_FLOAT_EQ(pass.modelView[14], 25.0f);
        EXPECT_FLOAT_EQ(pass.modelView[0], 3.0f);
        EXPECT_NEAR(pass.modelView[5], sphere.stretch * 3.0, 1e-5);
    }
    const GlRecorder::Sphere& base = recorder.spheres[0];
    EXPECT_EQ(base.texture, 7);
    EXPECT_FALSE(base.blend) << "the first pass is opaque";
    EXPECT_EQ(base.depthFunction, GL_LESS);
    EXPECT_EQ(base.textureGenModeS, GL_OBJECT_LINEAR);
    EXPECT_EQ(base.textureGenModeT, GL_OBJECT_LINEAR);
    EXPECT_FLOAT_EQ(base.colour[0], 0.75f);
    EXPECT_FLOAT_EQ(base.colour[3], 0.75f);
    const GlRecorder::Sphere& environment = recorder.spheres[1];
    EXPECT_EQ(environment.texture, 9);
    EXPECT_TRUE(environment.blend);
    EXPECT_EQ(environment.depthFunction, GL_LEQUAL);
    EXPECT_EQ(environment.textureGenModeS, GL_SPHERE_MAP);
    EXPECT_EQ(environment.textureGenModeT, GL_SPHERE_MAP);
    EXPECT_FLOAT_EQ(environment.colour[1], 1.0f);

    for (GLenum capability : {GL_TEXTURE_2D, GL_NORMALIZE, GL_BLEND, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T}) {
        EXPECT_TRUE(glIsEnabled(capability)) << std::hex << capability;
    }
    GLint value = 0;
    glGetIntegerv(GL_BLEND_SRC, &value);
    EXPECT_EQ(value, GL_SRC_ALPHA) << "the show's blend function is back";
    glGetIntegerv(GL_BLEND_DST, &value);
    EXPECT_EQ(value, GL_ONE);
    glGetIntegerv(GL_DEPTH_FUNC, &value);
    EXPECT_EQ(value, GL_LEQUAL);
    glGetIntegerv(GL_FRONT_FACE, &value);
    EXPECT_EQ(value, GL_CCW);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
    EXPECT_EQ(value, 9);
    GLfloat matrix[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    EXPECT_EQ(matrix[12], 0.0f) << "the caller's matrix is back";
    EXPECT_EQ(matrix[0], 1.0f);
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
}

} // namespace
