#include <gtest/gtest.h>

#include "app/scene_setup.h"
#include "assets/bitmap_font.h"
#include "assets/texture_registry.h"
#include "assets/texture_registry_offscreen.h"
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
    const struct {
        int number;
        const char* file;
        int side;
    } pictures[] = {{103, "swirl.bmp", 128}, {104, "cloud.bmp", 256}, {105, "burst.bmp", 256},
                    {113, "banner.bmp", 256}, {111, "glyphs.bmp", 256}};
    for (const auto& picture : pictures) {
        ASSERT_TRUE(addOffscreenBitmap(picture.number, std::string(PICTURES_DIR) + "/" + picture.file));
    }
    renderWindow.resize(640, 480);
    renderWindow.initState();
    testClock::setSeconds(7.0);
    InitScene();

    // The pictures are the context's first textures, in the order 103, 104, 105, 113, 111,
    // each kept where the show looks for it; the procedural layer comes last, unrecorded.
    ASSERT_EQ(textureRegistry.textureCount, 5u);
    const GLuint kept[] = {swirlTexture, textureRegistry.textureNames[1], rippleTexture, barTexture,
                           bitmapFont.glyphTexture};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(textureRegistry.textureNames[i], kept[i]) << pictures[i].file;
        EXPECT_EQ(kept[i], i + 1) << pictures[i].file;
        GLint side = 0;
        glBindTexture(GL_TEXTURE_2D, kept[i]);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &side);
        EXPECT_EQ(side, pictures[i].side) << pictures[i].file;
    }
    EXPECT_EQ(layerTexture, 6u);
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

} // namespace
