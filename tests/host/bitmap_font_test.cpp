#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "assets/bitmap_font.h"
#include "assets/texture_registry.h"
#include "assets/texture_registry_offscreen.h"
#include "platform/offscreen_context.h"
#include "platform/render_window.h"
#include "tests/host/pixel_probe.h"
#include "tests/host/test_bitmaps.h"

namespace {

// One corner of a drawn square, in overlay pixels (y down) with its texture coordinate.
struct Corner {
    float x, y, s, t;
};
// A glyph's square by its corners: top-left, top-right, bottom-right, bottom-left.
using Square = std::vector<Corner>;

// Puts the distinct corners of one glyph's polygons in the order of Square.
Square orderCorners(const std::vector<Corner>& corners)
{
    Square distinct;
    for (const Corner& c : corners) {
        bool known = false;
        for (const Corner& d : distinct) {
            known = known || (std::fabs(c.x - d.x) < 1e-3f && std::fabs(c.y - d.y) < 1e-3f);
        }
        if (!known) {
            distinct.push_back(c);
        }
    }
    std::sort(distinct.begin(), distinct.end(), [](const Corner& a, const Corner& b) {
        return a.y < b.y - 1e-3f || (std::fabs(a.y - b.y) < 1e-3f && a.x < b.x);
    });
    if (distinct.size() == 4) {
        std::swap(distinct[2], distinct[3]);
    }
    return distinct;
}

// The squares that drawing sends, caught in feedback mode. GL may hand a quad back as
// one polygon or as two triangles.
template <typename Draw>
std::vector<Square> feedback(Draw draw)
{
    std::vector<GLfloat> buffer(1 << 16);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint used = glRenderMode(GL_RENDER);

    // Each vertex: x, y, z, four colour and four texture components.
    std::vector<Square> squares;
    std::vector<Corner> pending;
    for (GLint i = 0; i < used;) {
        EXPECT_EQ(buffer[static_cast<std::size_t>(i)], GL_POLYGON_TOKEN);
        const auto corners = static_cast<int>(buffer[static_cast<std::size_t>(i) + 1]);
        i += 2;
        for (int c = 0; c < corners; ++c, i += 11) {
            const GLfloat* v = &buffer[static_cast<std::size_t>(i)];
            pending.push_back(Corner{v[0], 480.0f - v[1], v[7], v[8]});
        }
        if (pending.size() >= 4 && pending.size() != 5) {
            squares.push_back(orderCorners(pending));
            pending.clear();
        }
    }
    EXPECT_TRUE(pending.empty());
    return squares;
}

class BitmapFontTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        renderWindow.resize(640, 480);
        glGenTextures(1, &texture);
        font.glyphTexture = texture;
        font.build();
        renderWindow.beginOverlay();
    }
    void TearDown() override { renderWindow.endOverlay(); }

    OffscreenContext context;
    BitmapFont font{16};
    GLuint texture = 0;
};

void expectSquare(const Square& square, float left, float top, float s, float t)
{
    ASSERT_EQ(square.size(), 4u);
    // Top-left, top-right, bottom-right, bottom-left; the top takes the cell's larger t.
    const Corner expected[] = {{left, top, s, t},
                               {left + 16, top, s + 0.0625f, t},
                               {left + 16, top + 16, s + 0.0625f, t - 0.0625f},
                               {left, top + 16, s, t - 0.0625f}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(square[static_cast<std::size_t>(i)].x, expected[i].x, 1e-3) << i;
        EXPECT_NEAR(square[static_cast<std::size_t>(i)].y, expected[i].y, 1e-3) << i;
        EXPECT_NEAR(square[static_cast<std::size_t>(i)].s, expected[i].s, 1e-6) << i;
        EXPECT_NEAR(square[static_cast<std::size_t>(i)].t, expected[i].t, 1e-6) << i;
    }
}

TEST_F(BitmapFontTest, PrintsOverlappingSquaresElevenPixelsApart)
{
    const std::vector<Square> ab = feedback([&] { font.print(10, 20, "AB"); });
    ASSERT_EQ(ab.size(), 2u);
    // A is glyph 33: column 1, row 2 from the bottom of the grid.
    expectSquare(ab[0], 10, 20, 0.0625f, 0.875f);
    expectSquare(ab[1], 21, 20, 0.125f, 0.875f);

    // The space draws the empty glyph 0 and advances like any other; 127 is glyph 95.
    const std::vector<Square> spaced = feedback([&] { font.print(0, 0, " \x7f"); });
    ASSERT_EQ(spaced.size(), 2u);
    expectSquare(spaced[0], 0, 0, 0.0f, 1.0f);
    expectSquare(spaced[1], 11, 0, 0.9375f, 0.6875f);

    // Codes below 32 and from 128 up draw nothing and leave the pen where it was.
    const std::vector<Square> skipped = feedback([&] { font.print(100, 50, "\x01" "A\x1f\x80\xff" "B\xc7"); });
    ASSERT_EQ(skipped.size(), 2u);
    EXPECT_NEAR(skipped[1][0].x, 111.0f, 1e-3);

    // The caller's matrix is untouched, and the 31st character starts 330 pixels on.
    const std::vector<Square> line = feedback([&] {
        font.print(200, 100, "0123456789012345678901234567890");
        font.print(0, 0, "A");
    });
    ASSERT_EQ(line.size(), 32u);
    EXPECT_NEAR(line[30][0].x, 200.0f + 30 * 11, 1e-3);
    EXPECT_NEAR(line[31][0].x, 0.0f, 1e-3);
}

TEST_F(BitmapFontTest, AnEmptyStringDrawsNothingButBindsTheTexture)
{
    glBindTexture(GL_TEXTURE_2D, 0);
    GLint depthBefore = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);
    const std::vector<Square> none = feedback([&] { font.print(5, 5, ""); });
    EXPECT_TRUE(none.empty());
    GLint bound = 0;
    GLint depthAfter = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
    EXPECT_EQ(bound, static_cast<GLint>(texture));
    EXPECT_EQ(depthAfter, depthBefore);
    GLint base = 0;
    glGetIntegerv(GL_LIST_BASE, &base);
    EXPECT_EQ(static_cast<GLuint>(base), font.listBase - 32);

    // Every glyph list exists until the lists are released.
    for (GLuint g = 0; g < 256; ++g) {
        ASSERT_TRUE(glIsList(font.listBase + g)) << g;
    }
    font.releaseLists();
    EXPECT_FALSE(glIsList(font.listBase));
    EXPECT_FALSE(glIsList(font.listBase + 255));
}

// The glyph grid as the registry makes it from a bottom-up bitmap, with a mark in the top
// rows and left columns of A's cell as stored: upright on screen the mark must sit at
// the bottom of A's square and on its left.
TEST_F(BitmapFontTest, StoredUpsideDownGlyphsShowUpright)
{
    TestBitmap grid;
    grid.width = 256;
    grid.height = 256;
    grid.bits = 8;
    grid.palette = greyPalette();
    // A (glyph 33) sits in cell column 1 and cell row 2 counted from the bottom: picture
    // rows 208 to 223 counted from the top.
    grid.value = [](int x, int y) {
        const bool inCell = x >= 16 && x < 32 && y >= 208 && y < 224;
        return inCell && (y < 212 || x < 20) ? 255u : 0u;
    };
    offscreenBitmaps()[111] = grid.bytes();
    TextureRegistry registry;
    font.glyphTexture = registry.loadBitmap(111);
    font.build();

    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glColor4f(1, 1, 1, 1);
    font.print(10, 20, "A");

    // The square runs from (10, 20) to (26, 36): the bar along its bottom four rows, the
    // stroke down its left four columns.
    const auto bright = [&](int x, int y) { return context.pixel(x, y).r > 200; };
    EXPECT_TRUE(bright(18, 34)) << "the bar at the bottom";
    EXPECT_TRUE(bright(11, 24)) << "the stroke on the left";
    EXPECT_FALSE(bright(18, 22)) << "nothing at the top";
    EXPECT_FALSE(bright(24, 24)) << "nothing on the right";
    savePictureIfFailed(context);
}

} // namespace
