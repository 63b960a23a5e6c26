#include <gtest/gtest.h>

#include <cmath>

#include "app/offscreen_show.h"
#include "platform/offscreen_context.h"
#include "platform/render_window.h"
#include "scene/camera.h"
#include "tests/host/pixel_probe.h"

namespace {

// The window coordinates, y up from the bottom, at which GL places an overlay vertex.
void feedbackPoint(float x, float y, GLfloat* window)
{
    GLfloat buffer[8] = {};
    glFeedbackBuffer(8, GL_2D, buffer);
    glRenderMode(GL_FEEDBACK);
    glBegin(GL_POINTS);
    glVertex2f(x, y);
    glEnd();
    const GLint values = glRenderMode(GL_RENDER);
    ASSERT_EQ(values, 3);
    ASSERT_EQ(buffer[0], GL_POINT_TOKEN);
    window[0] = buffer[1];
    window[1] = buffer[2];
}

class RenderWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        startOffscreenShow();
    }

    void TearDown() override { savePictureIfFailed(context); }

    OffscreenContext context;
};

TEST_F(RenderWindowTest, MinimisedHeightOfZeroCountsAsOne)
{
    renderWindow.resize(0, 0);
    EXPECT_EQ(renderWindow.width, 0);
    EXPECT_EQ(renderWindow.height, 1);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 0);
    EXPECT_EQ(viewport[3], 1);

    // An aspect ratio of 0 leaves a usable projection: nothing infinite or undefined.
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    for (float element : projection) {
        EXPECT_TRUE(std::isfinite(element));
    }
    renderWindow.beginFrame(camera);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    for (float element : projection) {
        EXPECT_TRUE(std::isfinite(element));
    }
}

TEST_F(RenderWindowTest, BeginFrameClearsToTheFrameColour)
{
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClearStencil(1);
    glClearDepth(0.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    // The depth clear value is the scene set-up's, which beginFrame does not set.
    glClearDepth(1.0);

    renderWindow.beginFrame(camera);
    EXPECT_TRUE(colourNear(context, 0, 0, {42, 58, 128, 0}));
    EXPECT_TRUE(colourNear(context, 639, 479, {42, 58, 128, 0}));
    EXPECT_FALSE(colourNear(context, 320, 240, {42, 58, 0, 0})) << "the comparison can fail";

    GLubyte stencil = 1;
    glReadPixels(320, 240, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &stencil);
    EXPECT_EQ(stencil, 0);
    GLfloat depth = 0.0f;
    glReadPixels(320, 240, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_FLOAT_EQ(depth, 1.0f);
}

TEST_F(RenderWindowTest, OverlayCountsWindowPixelsDownFromTheTop)
{
    renderWindow.beginFrame(camera);
    GLfloat projectionBefore[16];
    GLfloat modelViewBefore[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projectionBefore);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelViewBefore);

    renderWindow.beginOverlay();
    GLfloat window[2];
    feedbackPoint(10.0f, 450.0f, window);
    EXPECT_NEAR(window[0], 10.0f, 1e-3f);
    EXPECT_NEAR(window[1], 30.0f, 1e-3f) << "y = 450 lies 30 pixels above the bottom edge";

    // A red band along the bottom of the overlay shows at the bottom of the picture.
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
    glRecti(0, 440, 640, 480);
    EXPECT_TRUE(colourNear(context, 5, 470, {255, 0, 0, 0}));
    EXPECT_TRUE(colourNear(context, 5, 10, {42, 58, 128, 0}));
    renderWindow.endOverlay();

    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    GLfloat projectionAfter[16];
    GLfloat modelViewAfter[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projectionAfter);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelViewAfter);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(projectionAfter[i], projectionBefore[i]) << i;
        EXPECT_EQ(modelViewAfter[i], modelViewBefore[i]) << i;
    }
}

TEST_F(RenderWindowTest, OverlayFollowsTheWindowSize)
{
    renderWindow.resize(800, 600);
    renderWindow.beginFrame(camera);
    renderWindow.beginOverlay();
    GLfloat window[2];
    feedbackPoint(700.0f, 100.0f, window);
    EXPECT_NEAR(window[0], 700.0f, 1e-3f);
    EXPECT_NEAR(window[1], 500.0f, 1e-3f);
    renderWindow.endOverlay();
}

} // namespace
