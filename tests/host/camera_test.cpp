#include <gtest/gtest.h>

#include <cmath>

#include "app/scene_setup.h"
#include "platform/offscreen_context.h"
#include "platform/render_window.h"
#include "scene/camera.h"

namespace {

// Signed distance of a point from a plane, positive inside the view volume.
float distance(const Camera::Plane& plane, Vec3 p)
{
    return plane.a * p.x + plane.b * p.y + plane.c * p.z + plane.d;
}

testing::AssertionResult planeNear(const Camera::Plane& actual, const Camera::Plane& expected,
                                   float tolerance)
{
    const float differences[4] = {actual.a - expected.a, actual.b - expected.b,
                                  actual.c - expected.c, actual.d - expected.d};
    for (float difference : differences) {
        if (!(std::fabs(difference) <= tolerance)) {
            return testing::AssertionFailure()
                   << "(" << actual.a << ", " << actual.b << ", " << actual.c << ", " << actual.d
                   << ") is not within " << tolerance << " of (" << expected.a << ", " << expected.b
                   << ", " << expected.c << ", " << expected.d << ")";
        }
    }
    return testing::AssertionSuccess();
}

bool samePlanes(const Camera::Plane (&a)[6], const Camera::Plane (&b)[6], int first, int last)
{
    for (int slot = first; slot <= last; ++slot) {
        if (!planeNear(a[slot], b[slot], 1e-6f)) {
            return false;
        }
    }
    return true;
}

// The set-up view: the scene set-up's camera values in a 640 x 480 window.
class CameraTest : public testing::Test {
protected:
    void SetUp() override
    {
        InitScene();
        renderWindow.resize(640, 480);
        renderWindow.beginFrame(camera);
    }

    OffscreenContext context;
};

const Vec3 setupEye = {35.0f, 30.0f, 50.0f};
const Vec3 setupTarget = {35.0f, 0.0f, 25.0f};

TEST_F(CameraTest, PlanesOfTheSetUpView)
{
    const Camera::Plane expected[6] = {
        {-0.8754f, -0.3714f, -0.3095f, 57.2549f}, // right
        {0.8754f, -0.3714f, -0.3095f, -4.0210f},  // left
        {0.0f, 0.2975f, -0.9547f, 38.8126f},      // bottom
        {0.0f, -0.8854f, 0.4648f, 3.3254f},       // top
        {0.0f, 0.7682f, 0.6402f, 44.9441f},       // far
        {0.0f, -0.7682f, -0.6402f, 54.9559f},     // near
    };
    for (int slot = 0; slot < 6; ++slot) {
        if (slot == Camera::Far) {
            continue;
        }
        EXPECT_TRUE(planeNear(camera.planes[slot], expected[slot], 0.00006f)) << "slot " << slot;
    }
    // The far plane is row 3 minus row 2, two rows that agree to within 0.2 %: single
    // precision keeps only about four significant digits of the difference, so its d
    // is good to about a thousandth.
    Camera::Plane farPlane = camera.planes[Camera::Far];
    EXPECT_NEAR(farPlane.d, expected[Camera::Far].d, 0.0015f);
    farPlane.d = expected[Camera::Far].d;
    EXPECT_TRUE(planeNear(farPlane, expected[Camera::Far], 0.00006f));
    // The comparison can fail: a plane off in its fourth place is told apart.
    Camera::Plane off = expected[Camera::Right];
    off.d += 0.0002f;
    EXPECT_FALSE(planeNear(camera.planes[Camera::Right], off, 0.00006f));
}

TEST_F(CameraTest, EyeAndTargetDistances)
{
    for (int slot : {Camera::Right, Camera::Left, Camera::Bottom, Camera::Top}) {
        EXPECT_NEAR(distance(camera.planes[slot], setupEye), 0.0f, 1e-4f) << "slot " << slot;
    }
    EXPECT_NEAR(distance(camera.planes[Camera::Near], setupEye), -0.1f, 1e-4f);
    EXPECT_NEAR(distance(camera.planes[Camera::Far], setupEye), 100.0f, 2e-3f);
    EXPECT_NEAR(distance(camera.planes[Camera::Near], setupTarget), 38.9512f, 1e-3f);
    EXPECT_NEAR(distance(camera.planes[Camera::Far], setupTarget), 60.9488f, 2e-3f);
}

TEST_F(CameraTest, ResizeChangesOnlyTheSidePlanesFromTheNextFrame)
{
    Camera::Plane before[6];
    std::copy(std::begin(camera.planes), std::end(camera.planes), before);

    renderWindow.resize(1024, 480);
    EXPECT_TRUE(samePlanes(camera.planes, before, Camera::Right, Camera::Near)) << "before the next frame";

    renderWindow.beginFrame(camera);
    EXPECT_FALSE(planeNear(camera.planes[Camera::Right], before[Camera::Right], 1e-3f));
    EXPECT_FALSE(planeNear(camera.planes[Camera::Left], before[Camera::Left], 1e-3f));
    EXPECT_TRUE(samePlanes(camera.planes, before, Camera::Bottom, Camera::Near));
    // The wider view still has its apex at the eye.
    EXPECT_NEAR(distance(camera.planes[Camera::Right], setupEye), 0.0f, 1e-4f);
    EXPECT_NEAR(distance(camera.planes[Camera::Left], setupEye), 0.0f, 1e-4f);
}

TEST_F(CameraTest, MovedEyeKeepsLookingAtTheTarget)
{
    Camera::Plane before[6];
    std::copy(std::begin(camera.planes), std::end(camera.planes), before);

    camera.eye.x -= 8.0f;
    camera.eye.z -= 10.0f;
    renderWindow.beginFrame(camera);
    EXPECT_FALSE(samePlanes(camera.planes, before, Camera::Right, Camera::Near));
    for (int slot : {Camera::Right, Camera::Left, Camera::Bottom, Camera::Top}) {
        EXPECT_NEAR(distance(camera.planes[slot], camera.eye), 0.0f, 1e-4f) << "slot " << slot;
    }
    // The line of sight still runs through the target: it lies as far inside the left
    // plane as inside the right one, and as far inside the bottom as inside the top.
    EXPECT_NEAR(distance(camera.planes[Camera::Left], setupTarget),
                distance(camera.planes[Camera::Right], setupTarget), 1e-3f);
    EXPECT_NEAR(distance(camera.planes[Camera::Bottom], setupTarget),
                distance(camera.planes[Camera::Top], setupTarget), 1e-3f);
}

// Walked straight under the target, the eye looks along the world's up: the view stays
// whole, aimed at the target, with the scene's far side up on the screen.
TEST_F(CameraTest, AnEyeStraightBelowTheTargetStillGivesAView)
{
    camera.eye = Vec3{35.0f, -0.25f, 25.0f};
    renderWindow.beginFrame(camera);
    GLdouble modelView[16];
    GLdouble projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    for (double value : modelView) {
        ASSERT_TRUE(std::isfinite(value));
    }
    GLdouble x = 0.0;
    GLdouble y = 0.0;
    GLdouble z = 0.0;
    ASSERT_TRUE(gluProject(35.0, 0.0, 25.0, modelView, projection, viewport, &x, &y, &z));
    EXPECT_NEAR(x, 320.0, 1e-3);
    EXPECT_NEAR(y, 240.0, 1e-3);
    ASSERT_TRUE(gluProject(35.0, 0.0, 24.0, modelView, projection, viewport, &x, &y, &z));
    EXPECT_GT(y, 240.0) << "GL counts y up from the bottom";
    for (const Camera::Plane& plane : camera.planes) {
        EXPECT_TRUE(std::isfinite(plane.a + plane.b + plane.c + plane.d));
    }
}

TEST_F(CameraTest, DisabledFrustumKeepsThePreviousPlanes)
{
    Camera::Plane before[6];
    std::copy(std::begin(camera.planes), std::end(camera.planes), before);

    camera.frustumEnabled = false;
    camera.eye.z -= 10.0f;
    renderWindow.beginFrame(camera);
    camera.frustumEnabled = true;
    EXPECT_TRUE(samePlanes(camera.planes, before, Camera::Right, Camera::Near));

    // The viewing transform was still applied: planes taken now follow the moved eye.
    camera.updateFrustum();
    EXPECT_FALSE(samePlanes(camera.planes, before, Camera::Right, Camera::Near));
}

} // namespace
