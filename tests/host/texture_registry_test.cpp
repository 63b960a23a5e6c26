#include <gtest/gtest.h>

#include <vector>

#include "assets/dib_picture.h"
#include "assets/texture_registry.h"
#include "assets/texture_registry_offscreen.h"
#include "platform/offscreen_context.h"
#include "tests/host/gl_recorder.h"
#include "tests/host/test_bitmaps.h"

namespace {

// Four quadrants of distinct colours, so that any scaling keeps the corners.
std::uint32_t quadrants(int x, int y, int width, int height)
{
    const bool right = x >= width / 2;
    const bool bottom = y >= height / 2;
    return bottom ? (right ? 0x20C040u : 0x8040F0u) : (right ? 0xF0E010u : 0x1030A0u);
}

TestBitmap quadrantPicture(int width, int height, int bits)
{
    TestBitmap picture;
    picture.width = width;
    picture.height = height;
    picture.bits = bits;
    const std::uint32_t colours[] = {0x1030A0u, 0xF0E010u, 0x8040F0u, 0x20C040u};
    if (bits <= 8) {
        picture.palette.assign(std::begin(colours), std::end(colours));
        picture.value = [width, height, colours](int x, int y) {
            const std::uint32_t colour = quadrants(x, y, width, height);
            std::uint32_t index = 0;
            while (colours[index] != colour) {
                ++index;
            }
            return index;
        };
    } else {
        picture.value = [width, height](int x, int y) { return quadrants(x, y, width, height); };
    }
    return picture;
}

std::uint32_t texel(const std::vector<std::uint8_t>& rgb, int side, int x, int y)
{
    const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(side) + static_cast<std::size_t>(x)) * 3];
    return static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
}

GLint boundTexture()
{
    GLint name = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    return name;
}

TEST(TextureRegistry, TextureSideIsThePowerOfTwoOfTheSmallerSide)
{
    const struct {
        int smaller;
        int side;
    } cases[] = {{1, 1},     {2, 2},     {3, 2},     {4, 4},     {127, 64},  {128, 128}, {200, 128},
                 {254, 128}, {255, 256}, {256, 256}, {511, 512}, {0, 0},     {-3, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(textureSide(c.smaller), c.side) << c.smaller;
    }
    EXPECT_EQ(paddedRowBytes(1), 4u);
    EXPECT_EQ(paddedRowBytes(2), 8u);
    EXPECT_EQ(paddedRowBytes(128), 384u);
}

// Every depth, both row orders and both containers decode to the same picture.
TEST(DibPicture, DecodesEveryDepthAndRowOrder)
{
    for (int bits : {4, 8, 24}) {
        for (bool topDown : {false, true}) {
            for (bool file : {false, true}) {
                TestBitmap source = quadrantPicture(13, 7, bits);
                source.topDown = topDown;
                source.fileHeader = file;
                const std::vector<std::uint8_t> bytes = source.bytes();
                DibPicture picture;
                ASSERT_TRUE(readDib(bytes.data(), bytes.size(), picture)) << bits << topDown << file;
                EXPECT_EQ(picture.width, 13);
                EXPECT_EQ(picture.height, 7);
                EXPECT_EQ(picture.bitCount, bits);
                for (int y = 0; y < 7; ++y) {
                    for (int x = 0; x < 13; ++x) {
                        const std::uint8_t* p = picture.pixel(x, y);
                        const std::uint32_t rgb = static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
                        ASSERT_EQ(rgb, quadrants(x, y, 13, 7)) << bits << topDown << file << " at " << x << "," << y;
                    }
                }
            }
        }
    }

    // One-bit pictures and indices past a short colour table, which show black.
    TestBitmap mono;
    mono.width = 10;
    mono.bits = 1;
    mono.palette = {0xFFFFFFu, 0x000000u};
    mono.value = [](int x, int) { return static_cast<std::uint32_t>(x % 3 == 0 ? 0 : 1); };
    TestBitmap shortTable;
    shortTable.width = 4;
    shortTable.bits = 4;
    shortTable.palette = {0x123456u, 0x654321u};
    shortTable.value = [](int x, int) { return static_cast<std::uint32_t>(x); };
    DibPicture picture;
    std::vector<std::uint8_t> bytes = mono.bytes();
    ASSERT_TRUE(readDib(bytes.data(), bytes.size(), picture));
    EXPECT_EQ(picture.pixel(3, 0)[0], 255);
    EXPECT_EQ(picture.pixel(4, 0)[0], 0);
    bytes = shortTable.bytes();
    ASSERT_TRUE(readDib(bytes.data(), bytes.size(), picture));
    EXPECT_EQ(picture.pixel(1, 0)[2], 0x65);
    EXPECT_EQ(picture.pixel(2, 0)[2], 0);
    EXPECT_EQ(picture.pixel(3, 0)[0], 0);
}

// Damaged or foreign data is refused without reading past it: every cut of a good
// bitmap is a copy of exactly that length, so the sanitizer sees any overread.
TEST(DibPicture, RefusesDamagedBitmaps)
{
    for (bool file : {false, true}) {
        TestBitmap source = quadrantPicture(9, 5, 4);
        source.fileHeader = file;
        const std::vector<std::uint8_t> whole = source.bytes();
        for (std::size_t length = 0; length < whole.size(); ++length) {
            const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
            DibPicture picture;
            EXPECT_FALSE(readDib(cut.data(), cut.size(), picture)) << length;
            EXPECT_TRUE(picture.pixels.empty());
        }
    }

    const std::vector<std::uint8_t> good = quadrantPicture(9, 5, 8).bytes();
    DibPicture picture;
    ASSERT_TRUE(readDib(good.data(), good.size(), picture)) << "the comparison must be able to succeed";
    const struct {
        std::size_t offset;
        std::uint32_t value;
        int bytes;
        const char* what;
    } faults[] = {
        {0, 12, 4, "an old core header"},     {4, 0, 4, "no width"},           {8, 0, 4, "no height"},
        {4, 0x80000000u, 4, "a negative width"}, {4, 100000, 4, "a huge width"}, {12, 2, 2, "two planes"},
        {14, 16, 2, "16 bits"},               {16, 1, 4, "run-length coding"}, {32, 300, 4, "too long a table"},
    };
    for (const auto& fault : faults) {
        std::vector<std::uint8_t> bad = good;
        for (int i = 0; i < fault.bytes; ++i) {
            bad[fault.offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(fault.value >> (8 * i));
        }
        EXPECT_FALSE(readDib(bad.data(), bad.size(), picture)) << fault.what;
    }
}

// Sides, scaling, orientation and texture state, as the scene's pictures rely on them.
TEST(TextureRegistry, LoadsBitmapsAsSquareTopDownTextures)
{
    OffscreenContext context;
    const struct {
        int number, width, height, bits;
        bool topDown;
        int side;
    } cases[] = {
        {201, 128, 128, 4, false, 128}, {202, 256, 256, 8, false, 256}, {203, 300, 200, 24, false, 128},
        {204, 255, 255, 24, false, 256}, {205, 254, 254, 4, false, 128}, {206, 64, 64, 24, true, 64},
        // Below 4 x 4 the padded rows are longer than three bytes a pixel.
        {207, 3, 3, 24, false, 2},       {208, 1, 1, 8, false, 1},
    };
    TextureRegistry registry;
    for (const auto& c : cases) {
        TestBitmap picture = quadrantPicture(c.width, c.height, c.bits);
        picture.topDown = c.topDown;
        offscreenBitmaps()[c.number] = picture.bytes();

        // Only the low 16 bits name the resource.
        const GLuint name = registry.loadBitmap(c.number + 0x30000);
        ASSERT_NE(name, 0u) << c.number;
        EXPECT_EQ(boundTexture(), static_cast<GLint>(name));
        GLint width = 0;
        GLint height = 0;
        GLint alphaBits = -1;
        GLint minFilter = 0;
        GLint magFilter = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alphaBits);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
        EXPECT_EQ(width, c.side) << c.number;
        EXPECT_EQ(height, c.side) << c.number;
        EXPECT_EQ(alphaBits, 0) << "three components";
        EXPECT_EQ(minFilter, GL_LINEAR);
        EXPECT_EQ(magFilter, GL_LINEAR);

        // Texel row 0 is the top of the picture as seen, whichever way it was stored.
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(c.side * c.side) * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        const int last = c.side - 1;
        EXPECT_EQ(texel(rgb, c.side, 0, 0), quadrants(0, 0, c.width, c.height)) << c.number;
        if (c.side > 1) {
            EXPECT_EQ(texel(rgb, c.side, last, 0), quadrants(c.width - 1, 0, c.width, c.height)) << c.number;
            EXPECT_EQ(texel(rgb, c.side, 0, last), quadrants(0, c.height - 1, c.width, c.height)) << c.number;
            EXPECT_EQ(texel(rgb, c.side, last, last), quadrants(c.width - 1, c.height - 1, c.width, c.height))
                << c.number;
        }
    }
    EXPECT_EQ(registry.textureCount, std::size(cases));

    // A missing resource and a damaged one: 0, nothing recorded, the binding untouched.
    offscreenBitmaps()[209] = {0x28, 0, 0, 0};
    const GLint before = boundTexture();
    EXPECT_EQ(registry.loadBitmap(4711), 0u);
    EXPECT_EQ(registry.loadBitmap(209), 0u);
    EXPECT_EQ(registry.textureCount, std::size(cases));
    EXPECT_EQ(boundTexture(), before);
}

// Names are recorded in the order made and deleted in that order, one call each;
// past the table's end textures are still made but not recorded.
TEST(TextureRegistry, RecordsAndDeletesItsNamesInOrder)
{
    OffscreenContext context;
    offscreenBitmaps()[210] = quadrantPicture(4, 4, 24).bytes();

    GlRecorder recorder;
    { TextureRegistry unused; }
    EXPECT_TRUE(recorder.deletedTextures.empty()) << "an empty registry makes no GL call";

    std::vector<GLuint> made;
    {
        TextureRegistry registry;
        for (std::uint32_t i = 0; i < TextureRegistry::capacity + 2; ++i) {
            made.push_back(registry.loadBitmap(210));
            ASSERT_NE(made.back(), 0u);
        }
        EXPECT_EQ(registry.textureCount, TextureRegistry::capacity);
        for (std::uint32_t i = 0; i < TextureRegistry::capacity; ++i) {
            ASSERT_EQ(registry.textureNames[i], made[i]);
        }
        // The procedural texture is not the registry's to delete.
        made.push_back(registry.makeProcedural());
        EXPECT_EQ(registry.textureCount, TextureRegistry::capacity);
        recorder.deletedTextures.clear();
    }

    const auto& calls = recorder.deletedTextures;
    ASSERT_EQ(calls.size(), TextureRegistry::capacity);
    for (std::uint32_t i = 0; i < TextureRegistry::capacity; ++i) {
        ASSERT_EQ(calls[i], std::vector<GLuint>{made[i]}) << i;
        EXPECT_FALSE(glIsTexture(made[i]));
    }
    for (std::size_t i = TextureRegistry::capacity; i < made.size(); ++i) {
        EXPECT_TRUE(glIsTexture(made[i])) << "unrecorded textures live on with the context";
    }
}

} // namespace
