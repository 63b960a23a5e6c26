#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "assets/dib_picture.h"
#include "tests/host/test_files.h"

// Checks the committed pictures for what the show relies on: their sizes, depths, palettes
// and storage, the swirl's seamless tiling, where light and dark lie in the cloud, the
// burst and the banner, and the glyph grid's layout.

namespace {

struct Committed {
    std::vector<std::uint8_t> bytes;
    DibPicture picture;
};

// The committed file and its decoded picture; fails the test if it does not decode.
Committed load(const char* name)
{
    Committed committed;
    committed.bytes = readFile(std::string(PICTURES_DIR) + "/" + name);
    EXPECT_TRUE(readDib(committed.bytes.data(), committed.bytes.size(), committed.picture)) << name;
    return committed;
}

std::uint32_t read32(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// Red, green and blue of a pixel as seen, from 0 to 255.
struct Rgb {
    double r, g, b;
};

Rgb rgb(const DibPicture& picture, int x, int y)
{
    const std::uint8_t* p = picture.pixel(x, y);
    return Rgb{static_cast<double>(p[2]), static_cast<double>(p[1]), static_cast<double>(p[0])};
}

double brightness(const DibPicture& picture, int x, int y)
{
    const Rgb c = rgb(picture, x, y);
    return (c.r + c.g + c.b) / 3.0;
}

double distance(const Rgb& a, const Rgb& b)
{
    return (std::fabs(a.r - b.r) + std::fabs(a.g - b.g) + std::fabs(a.b - b.b)) / 3.0;
}

TEST(Pictures, HaveTheirSizesDepthsAndBottomUpStorage)
{
    struct Expected {
        const char* name;
        int side;
        int bits;
        std::size_t paletteEntries;
    };
    const Expected table[] = {
        {"swirl.bmp", 128, 4, 16},   {"cloud.bmp", 256, 4, 16},    {"burst.bmp", 256, 24, 0},
        {"banner.bmp", 256, 4, 16},  {"glyphs.bmp", 256, 8, 256},
    };
    for (const Expected& expected : table) {
        SCOPED_TRACE(expected.name);
        const Committed committed = load(expected.name);
        const DibPicture& picture = committed.picture;
        EXPECT_EQ(picture.width, expected.side);
        EXPECT_EQ(picture.height, expected.side);
        EXPECT_EQ(picture.bitCount, expected.bits);
        EXPECT_EQ(picture.palette.size(), expected.paletteEntries * 4);

        // The file header, a 40-byte info header, the colour table, then padded rows.
        const std::size_t rowBytes = (static_cast<std::size_t>(expected.side * expected.bits) + 31) / 32 * 4;
        const std::size_t pixelsAt = 14 + 40 + expected.paletteEntries * 4;
        ASSERT_EQ(committed.bytes.size(), pixelsAt + rowBytes * static_cast<std::size_t>(expected.side));
        EXPECT_EQ(committed.bytes[0], 'B');
        EXPECT_EQ(committed.bytes[1], 'M');
        EXPECT_EQ(read32(committed.bytes, 2), committed.bytes.size());
        EXPECT_EQ(read32(committed.bytes, 10), pixelsAt);
        EXPECT_EQ(read32(committed.bytes, 14), 40u);
        // A positive height: the rows are stored bottom-up.
        EXPECT_EQ(static_cast<std::int32_t>(read32(committed.bytes, 22)), expected.side);
        EXPECT_EQ(read32(committed.bytes, 30), 0u) << "compressed";
    }
}

TEST(Pictures, GreyPalettesAreEvenRampsFromBlackToWhite)
{
    struct Expected {
        const char* name;
        int entries;
    };
    for (const Expected& expected : {Expected{"cloud.bmp", 16}, Expected{"glyphs.bmp", 256}}) {
        SCOPED_TRACE(expected.name);
        const DibPicture picture = load(expected.name).picture;
        ASSERT_EQ(picture.palette.size(), static_cast<std::size_t>(expected.entries) * 4);
        for (int i = 0; i < expected.entries; ++i) {
            const int grey = i * 255 / (expected.entries - 1);
            for (int channel = 0; channel < 3; ++channel) {
                EXPECT_EQ(picture.palette[static_cast<std::size_t>(i * 4 + channel)], grey) << "entry " << i;
            }
        }
    }
}

// The mean colour difference between column a and column b of a picture, with b's rows
// read `shift` rows further down (wrapping around).
double columnDifference(const DibPicture& picture, int a, int b, int shift)
{
    double sum = 0.0;
    for (int y = 0; y < picture.height; ++y) {
        sum += distance(rgb(picture, a, y), rgb(picture, b, (y + shift) % picture.height));
    }
    return sum / picture.height;
}

double rowDifference(const DibPicture& picture, int a, int b, int shift)
{
    double sum = 0.0;
    for (int x = 0; x < picture.width; ++x) {
        sum += distance(rgb(picture, x, a), rgb(picture, (x + shift) % picture.width, b));
    }
    return sum / picture.width;
}

TEST(Pictures, SwirlTilesSeamlesslyInBothDirections)
{
    const DibPicture swirl = load("swirl.bmp").picture;
    ASSERT_EQ(swirl.width, 128);
    const int last = swirl.width - 1;

    // How much neighbouring columns and rows differ inside the picture, on average.
    double columns = 0.0;
    double rows = 0.0;
    for (int i = 0; i < last; ++i) {
        columns += columnDifference(swirl, i, i + 1, 0) / last;
        rows += rowDifference(swirl, i, i + 1, 0) / last;
    }
    ASSERT_GT(columns, 1.0) << "a flat picture proves nothing";

    // Across the wrap, the last column and row lead into the first ones like any neighbours.
    EXPECT_LT(columnDifference(swirl, last, 0, 0), 1.5 * columns);
    EXPECT_LT(rowDifference(swirl, last, 0, 0), 1.5 * rows);
    // The same comparison with the copy displaced by a third of the tile finds the seam.
    EXPECT_GT(columnDifference(swirl, last, 0, 43), 1.5 * columns);
    EXPECT_GT(rowDifference(swirl, last, 0, 43), 1.5 * rows);
}

TEST(Pictures, SwirlIsVioletAndBlue)
{
    const DibPicture swirl = load("swirl.bmp").picture;
    int blue = 0;
    int violet = 0;
    for (int y = 0; y < swirl.height; ++y) {
        for (int x = 0; x < swirl.width; ++x) {
            const Rgb c = rgb(swirl, x, y);
            EXPECT_GT(c.b, c.g) << x << ", " << y;
            if (c.r < 0.4 * c.b) {
                ++blue;
            } else if (c.r > 0.5 * c.b && c.r > c.g) {
                ++violet;
            }
        }
    }
    const int pixels = swirl.width * swirl.height;
    EXPECT_GT(blue, pixels / 10);
    EXPECT_GT(violet, pixels / 10);
}

// The mean brightness of the pixels whose centres lie between `inner` and `outer` of the
// way from a square picture's middle to the middle of an edge.
double ringBrightness(const DibPicture& picture, double inner, double outer)
{
    const double half = picture.width / 2.0;
    double sum = 0.0;
    int count = 0;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const double r = std::hypot(x + 0.5 - half, y + 0.5 - half) / half;
            if (r >= inner && r < outer) {
                sum += brightness(picture, x, y);
                ++count;
            }
        }
    }
    return sum / count;
}

// The brightest channel of any pixel at least `inner` of the way from the middle to an edge.
int brightestOutside(const DibPicture& picture, double inner)
{
    const double half = picture.width / 2.0;
    int brightest = 0;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            if (std::hypot(x + 0.5 - half, y + 0.5 - half) / half >= inner) {
                const std::uint8_t* p = picture.pixel(x, y);
                brightest = std::max({brightest, static_cast<int>(p[0]), static_cast<int>(p[1]), static_cast<int>(p[2])});
            }
        }
    }
    return brightest;
}

TEST(Pictures, CloudIsBrightInTheMiddleAndBlackAtTheEdges)
{
    const DibPicture cloud = load("cloud.bmp").picture;
    EXPECT_GT(ringBrightness(cloud, 0.0, 0.15), 170.0);
    // Darker ring by ring on the way out.
    const double rings[] = {0.0, 0.2, 0.4, 0.6, 0.8, 1.0};
    for (int i = 0; i + 2 < 6; ++i) {
        EXPECT_GT(ringBrightness(cloud, rings[i], rings[i + 1]), ringBrightness(cloud, rings[i + 1], rings[i + 2]) + 10.0)
            << "ring " << i;
    }
    EXPECT_EQ(brightestOutside(cloud, 0.95), 0);
}

TEST(Pictures, BurstIsAVioletBallInGreySmokeOnBlack)
{
    const DibPicture burst = load("burst.bmp").picture;
    // The ball: violet, red and blue well above green, but for its gloss.
    int ball = 0;
    int violet = 0;
    for (int y = 0; y < burst.height; ++y) {
        for (int x = 0; x < burst.width; ++x) {
            if (std::hypot(x + 0.5 - 128.0, y + 0.5 - 128.0) < 30.0) {
                const Rgb c = rgb(burst, x, y);
                ++ball;
                violet += c.r > 1.5 * c.g + 10.0 && c.b > 1.5 * c.g + 10.0 ? 1 : 0;
            }
        }
    }
    EXPECT_GT(violet, ball * 9 / 10);
    // The smoke around it: visible and grey, its channels close together on average.
    double r = 0.0, g = 0.0, b = 0.0;
    int count = 0;
    for (int y = 0; y < burst.height; ++y) {
        for (int x = 0; x < burst.width; ++x) {
            const double radius = std::hypot(x + 0.5 - 128.0, y + 0.5 - 128.0);
            if (radius > 55.0 && radius < 90.0) {
                const Rgb c = rgb(burst, x, y);
                r += c.r;
                g += c.g;
                b += c.b;
                ++count;
            }
        }
    }
    r /= count;
    g /= count;
    b /= count;
    EXPECT_GT(g, 25.0);
    EXPECT_LT(std::fabs(r - g), 0.25 * g);
    EXPECT_LT(std::fabs(b - g), 0.25 * g);
    EXPECT_LE(brightestOutside(burst, 0.97), 2);
}

bool white(const Rgb& c)
{
    return c.r > 200.0 && c.g > 200.0 && c.b > 200.0;
}

TEST(Pictures, BannerCarriesTheNameWithinTheShownRows)
{
    const DibPicture banner = load("banner.bmp").picture;
    // The bar shows rows 0 to 38. The name spans most of the width in those rows.
    int nameInk = 0;
    int left = banner.width;
    int right = -1;
    for (int y = 0; y < 38; ++y) {
        for (int x = 0; x < banner.width; ++x) {
            if (white(rgb(banner, x, y))) {
                ++nameInk;
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    EXPECT_GT(nameInk, 800);
    EXPECT_LT(left, 24);
    EXPECT_GT(right, 232);

    // A light-blue rule under it, still within the shown rows.
    int ruleRows = 0;
    for (int y = 30; y < 38; ++y) {
        int light = 0;
        for (int x = 0; x < banner.width; ++x) {
            const Rgb c = rgb(banner, x, y);
            light += c.b > 180.0 && c.b > c.r + 40.0 && c.g > c.r && !white(c) ? 1 : 0;
        }
        ruleRows += light > banner.width / 2 ? 1 : 0;
    }
    EXPECT_GE(ruleRows, 1);

    // Nothing of the name spills below: the rows down to the caption are the dark field.
    for (int y = 38; y < 46; ++y) {
        for (int x = 0; x < banner.width; ++x) {
            const Rgb c = rgb(banner, x, y);
            EXPECT_TRUE(c.b > c.r && c.b > c.g && c.b < 130.0) << x << ", " << y;
        }
    }
    // The caption below, in smaller letters that are not the name's white.
    int captionInk = 0;
    for (int y = 46; y < 70; ++y) {
        for (int x = 0; x < banner.width; ++x) {
            const Rgb c = rgb(banner, x, y);
            captionInk += c.r > 120.0 && !white(c) ? 1 : 0;
        }
    }
    EXPECT_GT(captionInk, 100);
}

// Glyph g's cell as the picture shows it: column g mod 16 from the left and row g div 16
// from the bottom. Brightness by (column, row) inside the cell, as seen.
struct Cell {
    const DibPicture* picture;
    int left;
    int top;

    int at(int x, int y) const { return picture->pixel(left + x, top + y)[0]; }
};

Cell cellOf(const DibPicture& glyphs, int glyph)
{
    return Cell{&glyphs, glyph % 16 * 16, glyphs.height - 16 * (glyph / 16 + 1)};
}

// The extent of the ink brighter than `threshold` in a cell as seen: first and last
// column and row, all -1 when there is none.
struct Extent {
    int left = -1, right = -1, top = -1, bottom = -1;
};

Extent inkOf(const Cell& cell, int threshold = 0)
{
    Extent extent;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            if (cell.at(x, y) > threshold) {
                extent.left = extent.left < 0 ? x : std::min(extent.left, x);
                extent.right = std::max(extent.right, x);
                extent.top = extent.top < 0 ? y : extent.top;
                extent.bottom = y;
            }
        }
    }
    return extent;
}

bool alphanumeric(int code)
{
    return (code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z') || (code >= 'a' && code <= 'z');
}

TEST(Pictures, GlyphGridKeepsEachGlyphInTheLeftOfItsCell)
{
    const DibPicture glyphs = load("glyphs.bmp").picture;
    ASSERT_EQ(glyphs.width, 256);
    for (int glyph = 0; glyph < 256; ++glyph) {
        SCOPED_TRACE("glyph " + std::to_string(glyph));
        const Extent ink = inkOf(cellOf(glyphs, glyph));
        const int code = glyph % 128 + 32;
        if (code == ' ') {
            EXPECT_EQ(ink.left, -1) << "a space must be blank";
            continue;
        }
        ASSERT_GE(ink.left, 0) << "no ink";
        // Ink within the first ten columns, centred in them; the eleventh is the air
        // between neighbours when squares overlap at an advance of 11.
        EXPECT_LE(ink.right, 9);
        EXPECT_LE(std::abs(ink.left - (9 - ink.right)), 1) << "off centre";
        if (alphanumeric(code)) {
            int strongest = 0;
            const Cell cell = cellOf(glyphs, glyph);
            for (int y = 0; y < 16; ++y) {
                for (int x = 0; x < 16; ++x) {
                    strongest = std::max(strongest, cell.at(x, y));
                }
            }
            EXPECT_GT(strongest, 230) << "faint";
        }
    }
}

TEST(Pictures, GlyphGridStoresGlyphsUpsideDownOnACommonBaseline)
{
    const DibPicture glyphs = load("glyphs.bmp").picture;
    // Soft edges of round shapes may dip a little below the baseline: count firm ink only.
    auto ink = [&glyphs](int glyph) { return inkOf(cellOf(glyphs, glyph), 100); };
    for (int half : {0, 128}) {
        SCOPED_TRACE(half == 0 ? "plain" : "bold italic");
        // Turned over: what sits low on an upright line sits at the top of its cell as
        // seen, and what sits high at the bottom.
        EXPECT_LE(ink(half + '_' - 32).bottom, 3);
        EXPECT_LE(ink(half + '.' - 32).bottom, 6);
        EXPECT_GE(ink(half + '^' - 32).top, 8);
        EXPECT_GE(ink(half + '\'' - 32).top, 8);

        // The baseline is the top edge of "x", "n", "H" and "0" as seen; descenders go
        // above it, into rows of their own.
        const int baseline = ink(half + 'x' - 32).top;
        EXPECT_GE(baseline, 3) << "no room for descenders";
        for (char flat : {'n', 'H', '0', 'm', 'a'}) {
            EXPECT_EQ(ink(half + flat - 32).top, baseline) << flat;
        }
        for (char descending : {'g', 'p', 'q', 'y'}) {
            EXPECT_LT(ink(half + descending - 32).top, baseline) << descending;
            EXPECT_GE(ink(half + descending - 32).top, 0) << descending;
        }
    }

    // The second half is a different face of the same characters.
    for (int code : {'A', 'a', 'g', '1'}) {
        const Cell plain = cellOf(glyphs, code - 32);
        const Cell fancy = cellOf(glyphs, code - 32 + 128);
        int differing = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                differing += std::abs(plain.at(x, y) - fancy.at(x, y)) > 128 ? 1 : 0;
            }
        }
        EXPECT_GT(differing, 8) << static_cast<char>(code);
    }
}

} // namespace
