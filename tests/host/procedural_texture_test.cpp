#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "assets/texture_registry.h"
#include "platform/offscreen_context.h"

namespace {

// Texels of the pattern worked out from its definition, away from the edges of the
// truncation: at the centre both bands give sin 3.14, nearly 0, so v = 2.5 x 51.2 = 128;
// (64, 200) and (200, 64) tell the bands' axes apart.
struct Texel {
    int column, row, alpha;
};
constexpr Texel texels[] = {
    {128, 128, 128}, {0, 0, 81}, {255, 255, 69}, {64, 200, 65}, {200, 64, 115},
    {10, 128, 126}, {128, 40, 168}, {177, 99, 108}, {33, 250, 137}, {250, 17, 107},
};

std::vector<std::uint8_t> level(int number, int side)
{
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(side * side) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, number, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

TEST(ProceduralTexture, IsTheWhiteAlphaPatternWithAllItsMipmaps)
{
    OffscreenContext context;
    TextureRegistry registry;
    const GLuint first = registry.makeProcedural();
    ASSERT_NE(first, 0u);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, static_cast<GLint>(first));

    const std::vector<std::uint8_t> top = level(0, 256);
    for (const Texel& texel : texels) {
        EXPECT_EQ(top[static_cast<std::size_t>(texel.row * 256 + texel.column) * 4 + 3], texel.alpha)
            << texel.column << "," << texel.row;
    }
    int lowest = 255;
    int highest = 0;
    long long total = 0;
    for (int row = 0; row < 256; ++row) {
        for (int column = 0; column < 256; ++column) {
            const std::uint8_t* t = &top[static_cast<std::size_t>(row * 256 + column) * 4];
            ASSERT_EQ(t[0] + t[1] + t[2], 3 * 255) << column << "," << row;
            lowest = std::min(lowest, static_cast<int>(t[3]));
            highest = std::max(highest, static_cast<int>(t[3]));
            total += t[3];
        }
    }
    EXPECT_LE(lowest, 2) << "the pattern spans the whole range";
    EXPECT_GE(highest, 253);

    // gluBuild2DMipmaps made every level down to 1 x 1, each the average of the one above,
    // and the filters are GL's defaults.
    for (int number = 1, side = 128; side >= 1; ++number, side /= 2) {
        GLint width = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, number, GL_TEXTURE_WIDTH, &width);
        EXPECT_EQ(width, side) << number;
    }
    const std::vector<std::uint8_t> single = level(8, 1);
    EXPECT_NEAR(single[3], static_cast<double>(total) / 65536.0, 2.0);
    EXPECT_EQ(single[0], 255);
    GLint minFilter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    EXPECT_EQ(minFilter, GL_NEAREST_MIPMAP_LINEAR);

    // A second call makes a second texture of the same pattern and leaves the first whole.
    const GLuint second = registry.makeProcedural();
    EXPECT_NE(second, first);
    EXPECT_EQ(registry.textureCount, 0u);
    glBindTexture(GL_TEXTURE_2D, first);
    EXPECT_EQ(level(0, 256), top);
    glBindTexture(GL_TEXTURE_2D, second);
    EXPECT_EQ(level(0, 256), top);
}

} // namespace
