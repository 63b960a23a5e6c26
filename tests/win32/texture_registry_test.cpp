#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "app/window_proc.h"
#include "assets/dib_picture.h"
#include "assets/texture_registry.h"
#include "platform/gl.h"
#include "platform/render_window.h"
#include "platform/window_size.h"
#include "resources/resource_numbers.h"
#include "show/site.h"
#include "tests/win32/message_box_watcher.h"

namespace {

// The quadrant colours of the test bitmaps, 0xRRGGBB: top-left, top-right, bottom-left,
// bottom-right.
constexpr std::uint32_t topLeft = 0x1030A0;
constexpr std::uint32_t topRight = 0xF0E010;
constexpr std::uint32_t bottomLeft = 0x8040F0;
constexpr std::uint32_t bottomRight = 0x20C040;

// A texture as RGB rows, top row first.
struct Texels {
    int side = 0;
    std::vector<std::uint8_t> rgb;
    std::uint32_t at(int x, int y) const
    {
        const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(side) + static_cast<std::size_t>(x)) * 3];
        return static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
    }
};

Texels boundTexels()
{
    Texels texels;
    GLint height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &texels.side);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    EXPECT_EQ(height, texels.side) << "square";
    texels.rgb.resize(static_cast<std::size_t>(texels.side) * static_cast<std::size_t>(texels.side) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.rgb.data());
    return texels;
}

// The resource's picture, decoded from its bytes rather than through GDI.
DibPicture resourcePicture(int number)
{
    DibPicture picture;
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(number), MAKEINTRESOURCEA(2)); // RT_BITMAP
    if (found != nullptr) {
        const auto* bytes = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, found)));
        readDib(bytes, SizeofResource(module, found), picture);
    }
    return picture;
}

class TextureRegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(renderWindow.open(windowTitle, windowWidth, windowHeight, windowBits, false, MainWindowProc));
    }
    void TearDown() override { renderWindow.close(); }

    MessageBoxWatcher watcher;
};

// The show's five pictures become textures of their own size whose every texel is the
// picture's pixel as seen, top row first: GDI's reading agrees with the picture's bytes.
TEST_F(TextureRegistryTest, LoadsTheProgramsFivePicturesAsTheyAreSeen)
{
    const struct {
        int number;
        int side;
    } pictures[] = {{swirlBitmap, 128},  {cloudBitmap, 256},  {burstBitmap, 256},
                    {bannerBitmap, 256}, {glyphsBitmap, 256}};

    std::vector<GLuint> names;
    {
        TextureRegistry registry;
        for (const auto& expected : pictures) {
            const GLuint name = registry.loadBitmap(expected.number);
            ASSERT_NE(name, 0u) << expected.number;
            names.push_back(name);

            GLint bound = 0;
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
            EXPECT_EQ(bound, static_cast<GLint>(name));
            const Texels texels = boundTexels();
            EXPECT_EQ(texels.side, expected.side) << expected.number;

            const DibPicture picture = resourcePicture(expected.number);
            ASSERT_EQ(picture.width, expected.side) << expected.number;
            int differing = 0;
            for (int y = 0; y < expected.side; ++y) {
                for (int x = 0; x < expected.side; ++x) {
                    const std::uint8_t* p = picture.pixel(x, y);
                    differing += texels.at(x, y) != (static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0]);
                }
            }
            EXPECT_EQ(differing, 0) << expected.number;
            const std::uint8_t* corner = picture.pixel(0, 0);
            EXPECT_EQ(texels.at(0, 0), static_cast<std::uint32_t>(corner[2]) << 16 | corner[1] << 8 | corner[0])
                << expected.number << ": the top-left texel is the top-left pixel";
        }

        EXPECT_EQ(registry.textureCount, 5u);
        for (std::size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(registry.textureNames[i], names[i]);
            EXPECT_TRUE(glIsTexture(names[i]));
        }
    }
    // Gone with the registry, while the context lives on.
    for (GLuint name : names) {
        EXPECT_FALSE(glIsTexture(name)) << name;
    }
}

// Sizes that no picture of the show has: the smaller side decides, the system scales the
// picture to the square, and a side within 1 % below a power of two takes that power.
TEST_F(TextureRegistryTest, ScalesOtherSizesToTheirSquare)
{
    const struct {
        int number;
        const char* what;
        int side;
    } cases[] = {
        {300, "300 x 200", 128}, {301, "255 x 255", 256}, {302, "254 x 254", 128},
        {303, "3 x 3, rows padded past three bytes a pixel", 2},
    };
    TextureRegistry registry;
    for (const auto& c : cases) {
        ASSERT_NE(registry.loadBitmap(c.number), 0u) << c.what;
        const Texels texels = boundTexels();
        EXPECT_EQ(texels.side, c.side) << c.what;
        const int last = texels.side - 1;
        EXPECT_EQ(texels.at(0, 0), topLeft) << c.what;
        EXPECT_EQ(texels.at(last, 0), topRight) << c.what;
        EXPECT_EQ(texels.at(0, last), bottomLeft) << c.what;
        EXPECT_EQ(texels.at(last, last), bottomRight) << c.what;
    }
    EXPECT_EQ(registry.textureCount, std::size(cases));

    // A number with no bitmap: 0, nothing recorded, the binding left alone.
    GLint before = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &before);
    EXPECT_EQ(registry.loadBitmap(399), 0u);
    EXPECT_EQ(registry.loadBitmap(iconGroup), 0u) << "an icon under that number";
    EXPECT_EQ(registry.textureCount, std::size(cases));
    GLint after = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &after);
    EXPECT_EQ(after, before);
}

} // namespace
