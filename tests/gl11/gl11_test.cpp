// Focused checks of the GL layer, where a fault would hide in a whole frame of the show:
// the light's eye-space position, sphere-map coordinates, decal against modulate, lines
// wider than one pixel, batching, and the calls it refuses. The expected colours are
// worked out by hand from GL 1.1's equations; the lines' pixels are those that the
// desktop's GL lights for the same lines.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "platform/gl.h"
#include "platform/offscreen_context.h"
#include "tests/host/pixel_probe.h"

// Every draw call the layer makes, counted on its way to ES.
namespace {
int drawCalls = 0;
} // namespace

extern "C" void __real_glDrawArrays(GLenum mode, GLint first, GLsizei count);
extern "C" void __wrap_glDrawArrays(GLenum mode, GLint first, GLsizei count)
{
    ++drawCalls;
    __real_glDrawArrays(mode, first, count);
}

namespace {

using Rgba = OffscreenContext::Rgba;

// A square context with the unit square's ortho projection, z from -near to -far.
class LayerTest : public ::testing::Test {
protected:
    explicit LayerTest(int width = 256, int height = 256) : context(width, height) {}

    void SetUp() override
    {
        glViewport(0, 0, context.width(), context.height());
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    }

    void TearDown() override { savePictureIfFailed(context); }

    // A square of side 2 * half around (x, y, 0), with the current normal and colour.
    static void square(float x, float y, float half)
    {
        glBegin(GL_QUADS);
        glVertex3f(x - half, y - half, 0.0f);
        glVertex3f(x + half, y - half, 0.0f);
        glVertex3f(x + half, y + half, 0.0f);
        glVertex3f(x - half, y + half, 0.0f);
        glEnd();
    }

    // The pixel at (x, y) of the unit square's projection, y up.
    Rgba at(float x, float y) const
    {
        const int column = static_cast<int>((x + 1.0f) / 2.0f * static_cast<float>(context.width()));
        const int row = static_cast<int>((1.0f - y) / 2.0f * static_cast<float>(context.height()));
        return context.pixel(column, row);
    }

    OffscreenContext context;
};

testing::AssertionResult near(const Rgba& pixel, const Rgba& expected)
{
    if (nearColour(pixel, expected) && std::abs(pixel.a - expected.a) <= pixelTolerance) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "(" << pixel.r << ", " << pixel.g << ", " << pixel.b << ", " << pixel.a
                                       << "), expected about (" << expected.r << ", " << expected.g << ", "
                                       << expected.b << ", " << expected.a << ")";
}

// A light placed at (-3, 0, 1) under a model-view matrix that moves it 3 to the right
// sits at (0, 0, 1) in eye space for good. A white square facing it at the origin is
// lit by the scene's ambient 0.2 and 0.5 of diffuse: 0.7 in full; at (0.5, 0) the light
// comes at cos = 1 / sqrt(1.25), 0.2 + 0.447. Taken at draw time instead, the light
// would sit at (-3, 0, 1) and give 0.36 and 0.39.
TEST_F(LayerTest, TheLightsPositionIsTakenIntoEyeSpaceWhenItIsSet)
{
    glMatrixMode(GL_PROJECTION);
    glOrtho(-1.0, 1.0, -1.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    const GLfloat none[] = {0.0f, 0.0f, 0.0f, 1.0f};
    const GLfloat half[] = {0.5f, 0.5f, 0.5f, 1.0f};
    const GLfloat position[] = {-3.0f, 0.0f, 1.0f, 1.0f};
    glLightfv(GL_LIGHT1, GL_AMBIENT, none);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, half);
    glTranslatef(3.0f, 0.0f, 0.0f);
    glLightfv(GL_LIGHT1, GL_POSITION, position);
    glLoadIdentity();
    glEnable(GL_LIGHT1);
    glEnable(GL_LIGHTING);
    glEnable(GL_COLOR_MATERIAL);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glNormal3f(0.0f, 0.0f, 1.0f);
    square(0.0f, 0.0f, 0.02f);
    square(0.5f, 0.0f, 0.02f);
    EXPECT_TRUE(near(at(0.0f, 0.0f), Rgba{178, 178, 178, 255}));
    EXPECT_TRUE(near(at(0.5f, 0.0f), Rgba{165, 165, 165, 255}));
}

// A 256 x 256 texture whose red is the texel's column and green its row, so that the
// colour drawn tells the texture coordinates: s * 256 - 0.5 in red, t * 256 - 0.5 in green.
void coordinateTexture()
{
    std::vector<std::uint8_t> texels(256 * 256 * 3);
    for (int row = 0; row < 256; ++row) {
        for (int column = 0; column < 256; ++column) {
            texels[(row * 256 + column) * 3 + 0] = static_cast<std::uint8_t>(column);
            texels[(row * 256 + column) * 3 + 1] = static_cast<std::uint8_t>(row);
        }
    }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, 256, 256, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
}

// Squares at z = -2 in eye space. At the origin, seen straight on (u = (0, 0, -1)) with
// the normal (0.6, 0, 0.8): r = u + 1.6 n = (0.96, 0, 0.28), m = 2 |(0.96, 0, 1.28)| =
// 3.2, so s = 0.8 and t = 0.5. At (0.5, 0.5) with the normal (0, 0.6, 0.8): u =
// (0.2357, 0.2357, -0.9428), n.u = -0.6128, r = (0.2357, 0.9711, 0.0377), m = 2.8813,
// s = 0.5818 and t = 0.8370.
TEST_F(LayerTest, SphereMapCoordinatesComeFromTheEyeSpaceViewAndNormal)
{
    coordinateTexture();
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glEnable(GL_TEXTURE_2D);
    glMatrixMode(GL_PROJECTION);
    glOrtho(-1.0, 1.0, -1.0, 1.0, 1.0, 10.0);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(0.0f, 0.0f, -2.0f);
    glNormal3f(0.6f, 0.0f, 0.8f);
    square(0.0f, 0.0f, 0.01f);
    glNormal3f(0.0f, 0.6f, 0.8f);
    square(0.5f, 0.5f, 0.01f);
    EXPECT_TRUE(colourNear(context, 128, 127, Rgba{204, 128, 0, 0}));
    EXPECT_TRUE(near(at(0.5f, 0.5f), Rgba{148, 214, 0, 255}));
}

// Textures of one texel, (200, 100, 50) and the same with an alpha of 64, under the
// colour (0.5, 1, 0.2, 0.8), that is (127.5, 255, 51, 204). Modulate multiplies (an RGB
// texture keeps the colour's alpha); decal replaces an RGB texture's colour and blends an
// RGBA one's by its alpha (64 / 255 = 0.251), keeping the colour's alpha. A texture that
// lacks the levels its filter needs draws as no texture.
TEST_F(LayerTest, ModulateAndDecalCombineRgbAndRgbaTexturesAsGlDoes)
{
    glMatrixMode(GL_PROJECTION);
    glOrtho(-1.0, 1.0, -1.0, 1.0, -1.0, 1.0);
    // The third is 2 x 2 with its rows padded to 4 bytes, and has no second level.
    const std::uint8_t bgr[16] = {50, 100, 200, 50, 100, 200, 0, 0, 50, 100, 200, 50, 100, 200, 0, 0};
    const std::uint8_t rgba[4] = {200, 100, 50, 64};
    GLuint textures[3] = {};
    glGenTextures(3, textures);
    for (int i = 0; i < 3; ++i) {
        glBindTexture(GL_TEXTURE_2D, textures[i]);
        if (i < 2) {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        }
        if (i == 1) {
            glTexImage2D(GL_TEXTURE_2D, 0, 4, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        } else {
            const GLsizei side = i == 0 ? 1 : 2;
            glTexImage2D(GL_TEXTURE_2D, 0, 3, side, side, 0, GL_BGR_EXT, GL_UNSIGNED_BYTE, bgr);
        }
    }
    const struct {
        GLuint texture;
        GLenum environment;
        Rgba expected;
    } cases[] = {
        {textures[0], GL_MODULATE, {100, 100, 10, 204}},
        {textures[1], GL_MODULATE, {100, 100, 10, 51}},
        {textures[0], GL_DECAL, {200, 100, 50, 204}},
        {textures[1], GL_DECAL, {146, 216, 51, 204}},
        {textures[2], GL_MODULATE, {128, 255, 51, 204}},
    };
    glEnable(GL_TEXTURE_2D);
    glColor4f(0.5f, 1.0f, 0.2f, 0.8f);
    float x = -0.8f;
    for (const auto& c : cases) {
        glBindTexture(GL_TEXTURE_2D, c.texture);
        glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(c.environment));
        square(x, 0.0f, 0.05f);
        EXPECT_TRUE(near(at(x, 0.0f), c.expected)) << "case at x = " << x;
        x += 0.4f;
    }
}

// The show's overlay: window pixels, y down.
class LineTest : public LayerTest {
protected:
    LineTest() : LayerTest(640, 480) {}

    void SetUp() override
    {
        LayerTest::SetUp();
        glMatrixMode(GL_PROJECTION);
        glOrtho(0.0, 640.0, 480.0, 0.0, -1.0, 1.0);
        glMatrixMode(GL_MODELVIEW);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    }

    void line(float x0, float y0, float x1, float y1)
    {
        glBegin(GL_LINES);
        glVertex2f(x0, y0);
        glVertex2f(x1, y1);
        glEnd();
    }

    // The columns lit in a row, or the rows lit in a column, between first and last.
    std::set<int> lit(bool alongRow, int at, int first, int last) const
    {
        std::set<int> found;
        for (int i = first; i <= last; ++i) {
            if ((alongRow ? context.pixel(i, at) : context.pixel(at, i)).r > 128) {
                found.insert(i);
            }
        }
        return found;
    }
};

// A line of width w covers w pixels across its minor axis; along its major axis, the
// pixels a one-pixel line leaves, whose centres lie in the segment moved back by half a
// pixel. The show's separator, x = 289 on a pixel boundary, takes column 288 at width 1.
TEST_F(LineTest, LinesOfAnyWidthCoverThePixelsGlDoes)
{
    const struct {
        float width;
        std::set<int> separatorColumns;
        std::set<int> rowsAcross;
    } cases[] = {
        {1.0f, {288}, {100}},
        {2.0f, {288, 289}, {99, 100}},
        {3.0f, {287, 288, 289}, {99, 100, 101}},
    };
    for (const auto& c : cases) {
        glClear(GL_COLOR_BUFFER_BIT);
        glLineWidth(c.width);
        line(289.0f, 0.0f, 289.0f, 480.0f);
        line(100.0f, 100.0f, 200.0f, 100.0f);
        EXPECT_EQ(lit(true, 240, 280, 300), c.separatorColumns) << c.width;
        EXPECT_EQ(lit(false, 150, 90, 110), c.rowsAcross) << c.width;
        const std::set<int> along = lit(true, 100, 90, 210);
        ASSERT_FALSE(along.empty());
        EXPECT_EQ(*along.begin(), 100) << c.width;
        EXPECT_EQ(*along.rbegin(), 199) << c.width;
    }
    // A line whose end lies inside its last pixel's diamond does not reach that pixel.
    glClear(GL_COLOR_BUFFER_BIT);
    glLineWidth(1.0f);
    line(100.3f, 200.3f, 200.7f, 230.6f);
    EXPECT_EQ(lit(false, 150, 190, 240), std::set<int>{215});
    EXPECT_EQ(lit(false, 100, 190, 240), std::set<int>{200});
    EXPECT_EQ(lit(false, 199, 190, 240), std::set<int>{230});
    EXPECT_TRUE(lit(false, 200, 190, 240).empty());
}

// Glyphs as the font draws them, each under its own translation and through a display
// list, go to ES as one draw; a change of blending starts another, setting what is
// already set does not.
TEST_F(LineTest, PrimitivesUnderOneRasterStateAreDrawnAsOneBatch)
{
    const GLuint base = glGenLists(2);
    for (GLuint list = base; list < base + 2; ++list) {
        glNewList(list, GL_COMPILE);
        glBegin(GL_QUADS);
        glVertex2i(0, 0);
        glVertex2i(4, 0);
        glVertex2i(4, 4);
        glVertex2i(0, 4);
        glEnd();
        glTranslated(6.0, 0.0, 0.0);
        glEndList();
    }
    const char text[] = "ABABABABABABABABABAB";
    glFinish();
    const int before = drawCalls;
    glListBase(base - 'A');
    for (int y = 0; y < 100; y += 10) {
        glPushMatrix();
        glTranslatef(0.0f, static_cast<float>(y), 0.0f);
        glCallLists(sizeof text - 1, GL_BYTE, text);
        glPopMatrix();
        glEnable(GL_DEPTH_TEST);
        glDisable(GL_DEPTH_TEST);
    }
    glFinish();
    EXPECT_EQ(drawCalls - before, 1);
    EXPECT_TRUE(colourNear(context, 6 * 19 + 2, 92, Rgba{255, 255, 255, 255}));

    glEnable(GL_BLEND);
    glCallLists(1, GL_BYTE, text);
    glFinish();
    EXPECT_EQ(drawCalls - before, 2);
    glDeleteLists(base, 2);
}

// Calls and values outside what the layer handles stop the program, saying which.
TEST(LayerDeathTest, CallsItDoesNotHandleFailLoudly)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(glEnable(GL_FOG), "glEnable: capability 0x0B60 is not supported");
    EXPECT_DEATH(glBegin(GL_POINTS), "glBegin: primitive 0x0000 is not supported");
    EXPECT_DEATH(glShadeModel(GL_FLAT), "glShadeModel: shading 0x1D00 is not supported");
    EXPECT_DEATH(glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_BLEND)),
                 "glTexEnvf: texture environment 0x0BE2 is not supported");
    EXPECT_DEATH(glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP),
                 "glTexParameteri: wrap mode 0x2900 is not supported");
    EXPECT_DEATH(
        {
            glNewList(1, GL_COMPILE);
            glBindTexture(GL_TEXTURE_2D, 1);
        },
        "glBindTexture: called between glBegin and glEnd or in a display list");
}

} // namespace
