#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/offscreen_show.h"
#include "app/scene_setup.h"
#include "assets/bitmap_font.h"
#include "assets/texture_registry.h"
#include "assets/texture_registry_offscreen.h"
#include "platform/frame_timer.h"
#include "platform/offscreen_context.h"
#include "platform/render_window.h"
#include "resources/resource_numbers.h"
#include "scene/bouncing_sphere.h"
#include "scene/camera.h"
#include "scene/ripple_surface.h"
#include "show/main_phase.h"
#include "tests/host/pixel_probe.h"
#include "tests/host/test_clock.h"

namespace {

double pi()
{
    return std::acos(-1.0);
}

const struct {
    int number;
    const char* file;
    int side;
} pictures[] = {{swirlBitmap, "swirl.bmp", 128},   {cloudBitmap, "cloud.bmp", 256},
                {burstBitmap, "burst.bmp", 256},   {bannerBitmap, "banner.bmp", 256},
                {glyphsBitmap, "glyphs.bmp", 256}};

// A fresh 640 x 480 context with the program's pictures, after the scene set-up.
class SceneSetupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const auto& picture : pictures) {
            ASSERT_TRUE(addOffscreenBitmap(picture.number, std::string(PICTURES_DIR) + "/" + picture.file));
        }
        testClock::setSeconds(7.0);
        // The single registry keeps what earlier set-ups in this process recorded.
        firstRecorded = textureRegistry.textureCount;
        startOffscreenShow();
    }

    OffscreenContext context;
    std::uint32_t firstRecorded = 0;
};

// What a freshly opened window has after the scene set-up: the state that every
// drawing step of the show starts from.
TEST_F(SceneSetupTest, LeavesTheStateTheShowStartsFrom)
{
    // The pictures are the context's first textures, in the order swirl, cloud, burst,
    // banner, glyphs, each kept where the show looks for it; the procedural layer comes
    // last, unrecorded.
    ASSERT_EQ(textureRegistry.textureCount, firstRecorded + 5);
    const GLuint* names = &textureRegistry.textureNames[firstRecorded];
    const GLuint kept[] = {swirlTexture, bouncingSphere.environmentTexture, rippleTexture, barTexture,
                           bitmapFont.glyphTexture};
    EXPECT_EQ(bouncingSphere.baseTexture, swirlTexture);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(names[i], kept[i]) << pictures[i].file;
        EXPECT_EQ(kept[i], i + 1) << pictures[i].file;
        GLint side = 0;
        glBindTexture(GL_TEXTURE_2D, kept[i]);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &side);
        EXPECT_EQ(side, pictures[i].side) << pictures[i].file;
    }
    EXPECT_EQ(layerTexture, 6u);
    EXPECT_EQ(rippleSurface.size, 50);
    EXPECT_EQ(rippleSurface.splashHeight, 2.0f);
    EXPECT_EQ(rippleSurface.positions[49][49].y, -20.0f);
    EXPECT_NE(bouncingSphere.quadric, nullptr);
    EXPECT_TRUE(glIsList(bitmapFont.listBase));
    EXPECT_TRUE(glIsList(bitmapFont.listBase + 255));
    glBindTexture(GL_TEXTURE_2D, 0);

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

// Every pixel of the finished frame, top row first.
std::vector<OffscreenContext::Rgba> framePixels(const OffscreenContext& context)
{
    std::vector<OffscreenContext::Rgba> pixels;
    for (int y = 0; y < context.height(); ++y) {
        for (int x = 0; x < context.width(); ++x) {
            pixels.push_back(context.pixel(x, y));
        }
    }
    return pixels;
}

// The sphere in the set-up view: the pixels that its draw changes gather around its
// centre projected from (25, -0.5 + 4.9 lift, 25), in a disc of its projected radius.
TEST_F(SceneSetupTest, TheSphereStandsOverTheSplashInTheSetUpView)
{
    const auto drawFrame = [&](bool withSphere, float time) {
        renderWindow.beginFrame(camera);
        glDisable(GL_DEPTH_TEST);
        rippleSurface.draw(rippleTexture);
        if (withSphere) {
            bouncingSphere.draw(time);
        }
        return framePixels(context);
    };
    for (float time : {1.5707964f, 0.6f}) {
        // The same water twice, once without the sphere and once with it.
        const auto surface = std::make_unique<RippleSurface>(rippleSurface);
        const std::vector<OffscreenContext::Rgba> water = drawFrame(false, time);
        rippleSurface = *surface;
        const std::vector<OffscreenContext::Rgba> shown = drawFrame(true, time);

        // Where the view puts the sphere's centre, and one radius to its side.
        GLdouble modelView[16];
        GLdouble projection[16];
        GLint viewport[4];
        glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
        const double height = -0.5 + 4.9 * bouncingSphere.lift;
        GLdouble x = 0.0;
        GLdouble y = 0.0;
        GLdouble z = 0.0;
        GLdouble edgeX = 0.0;
        gluProject(28.0, height, 25.0, modelView, projection, viewport, &edgeX, &y, &z);
        gluProject(25.0, height, 25.0, modelView, projection, viewport, &x, &y, &z);
        const double radius = edgeX - x;
        const double centreY = 480.0 - y;

        double sumX = 0.0;
        double sumY = 0.0;
        int changed = 0;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const OffscreenContext::Rgba& a = water[i];
            const OffscreenContext::Rgba& b = shown[i];
            if (std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b) > 24) {
                sumX += static_cast<double>(i % 640);
                sumY += static_cast<double>(i / 640);
                ++changed;
            }
        }
        ASSERT_GT(changed, 0) << time;
        EXPECT_NEAR(sumX / changed, x, 3.0) << time;
        EXPECT_NEAR(sumY / changed, centreY, 0.2 * radius) << time << ": squashed, the sphere sits lower";
        EXPECT_NEAR(changed, pi() * radius * radius, 0.35 * pi() * radius * radius) << time;
        savePictureIfFailed(context);
    }
}

} // namespace
