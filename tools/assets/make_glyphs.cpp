// Writes the font's glyph grid: 16 x 16 cells of 16 x 16 pixels, white glyphs with soft
// edges on black, in 256 grey levels (entry i of the palette is grey i).
//
//     make_glyphs OUTPUT.bmp
//
// Glyph g is drawn upright in cell column g mod 16 and cell row g div 16 from the top,
// and then the whole grid is turned over top to bottom: the font turns each cell back
// when it draws it. Glyphs 0 to 95 are the characters 32 to 127, glyphs 96 to 127 the
// characters 128 to 159 of the IBM PC's code page 437, and glyphs 128 to 255 the same
// 128 again in a bold italic serif face.
//
// The font draws each glyph as a 16 x 16 square but moves on by only 11 pixels, and
// overlapping squares add up. So every glyph keeps its ink within the cell's first 10
// columns, centred there, and the 11th stays dark: neighbours never touch.
#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "tools/assets/picture.h"
#include "tools/assets/typeface.h"

namespace {

using namespace picture;

constexpr int cell = 16;
constexpr int side = 16 * cell;
constexpr int inkColumns = 10;
// The row just below the baseline; the rows from here down are for descenders.
constexpr int baseline = 12;

const std::string fonts = "/usr/share/fonts/truetype/dejavu/";

// Code page 437's characters 128 to 159 in Unicode, and 127, a small house.
const std::u32string accented = U"\u00c7\u00fc\u00e9\u00e2\u00e4\u00e0\u00e5\u00e7\u00ea\u00eb\u00e8\u00ef\u00ee\u00ec"
                                U"\u00c4\u00c5\u00c9\u00e6\u00c6\u00f4\u00f6\u00f2\u00fb\u00f9\u00ff\u00d6\u00dc"
                                U"\u00a2\u00a3\u00a5\u20a7\u0192";
constexpr char32_t house = U'\u2302';

// The character that glyph g % 128 shows.
char32_t character(int glyph)
{
    const int code = glyph % 128 + 32;
    if (code < 127) {
        return static_cast<char32_t>(code);
    }
    return code == 127 ? house : accented[static_cast<std::size_t>(code - 128)];
}

struct Face {
    const char* file;
    const char* package;
    double size;
    Hinting hinting;
    // For the characters that the face lacks, if any.
    const char* fallbackFile;
    const char* fallbackPackage;
};

// The faces of the two halves of the grid. A monospaced face suits the fixed advance; bold
// strokes stay clear as white on black at this size, and the light hinting keeps the
// shapes true while snapping their heights to whole pixels. The serif face is the
// condensed cut, which needs the least narrowing to fit. It lacks the peseta sign, which
// comes from the oblique sans.
const Face plain{"DejaVuSansMono-Bold.ttf", "fonts-dejavu-core", 16.0, Hinting::Light, nullptr, nullptr};
const Face fancy{"DejaVuSerifCondensed-BoldItalic.ttf", "fonts-dejavu-extra", 15.0, Hinting::Light,
                 "DejaVuSans-BoldOblique.ttf", "fonts-dejavu-extra"};

// Coverage is raised to this power: the glyphs are added onto dark pictures, where plain
// coverage leaves the soft edges of thin strokes looking faint.
constexpr double inkLift = 0.8;

// The ink's columns in a glyph, the last one excluded; both 0 when there is none.
std::pair<int, int> inkColumnsOf(const Glyph& shape)
{
    int first = shape.width;
    int last = -1;
    for (int y = 0; y < shape.rows; ++y) {
        for (int x = 0; x < shape.width; ++x) {
            if (shape.at(x, y) > 0.0) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
        }
    }
    return last < 0 ? std::pair<int, int>{0, 0} : std::pair<int, int>{first, last + 1};
}

// Renders the character so that it fits its cell: too wide, it is narrowed; too tall
// (capitals with accents), it is squeezed towards the baseline, as the small fonts of the
// PC's text mode did.
Glyph fitted(Typeface& face, char32_t code, Hinting hinting)
{
    double across = 1.0;
    double upright = 1.0;
    for (;;) {
        face.setTransform(across, upright);
        const Glyph shape = face.render(code, hinting);
        const std::pair<int, int> ink = inkColumnsOf(shape);
        const bool narrow = ink.second - ink.first <= inkColumns;
        const bool low = baseline - shape.top >= 0 && baseline - shape.top + shape.rows <= cell;
        if ((narrow && low) || across < 0.3 || upright < 0.5) {
            face.setTransform(1.0, 1.0);
            return shape;
        }
        across -= narrow ? 0.0 : 0.05;
        upright -= low ? 0.0 : 0.05;
    }
}

// Draws the character upright into glyph g's cell of `grid`, centred across the ink
// columns and standing on the common baseline.
void drawGlyph(Typeface& face, int glyph, char32_t code, Hinting hinting, Mask& grid)
{
    const Glyph shape = fitted(face, code, hinting);
    const std::pair<int, int> ink = inkColumnsOf(shape);
    const int left = (inkColumns - (ink.second - ink.first)) / 2 - ink.first;
    const int top = baseline - shape.top;
    const int cellX = glyph % 16 * cell;
    const int cellY = glyph / 16 * cell;
    for (int y = 0; y < shape.rows; ++y) {
        for (int x = 0; x < shape.width; ++x) {
            const int column = left + x;
            const int row = top + y;
            if (column >= 0 && column < inkColumns && row >= 0 && row < cell) {
                grid.at(cellX + column, cellY + row) = shape.at(x, y);
            } else if (shape.at(x, y) > 0.0) {
                throw std::runtime_error("glyph " + std::to_string(glyph) + " does not fit its cell");
            }
        }
    }
}

void drawHalf(const Face& face, int firstGlyph, Mask& grid)
{
    Typeface typeface(fonts + face.file, face.package);
    typeface.setSize(face.size);
    std::unique_ptr<Typeface> fallback;
    if (face.fallbackFile) {
        fallback = std::make_unique<Typeface>(fonts + face.fallbackFile, face.fallbackPackage);
        fallback->setSize(face.size);
    }
    for (int glyph = 0; glyph < 128; ++glyph) {
        const char32_t code = character(glyph);
        Typeface& source = typeface.has(code) || !fallback ? typeface : *fallback;
        drawGlyph(source, firstGlyph + glyph, code, face.hinting, grid);
    }
}

std::vector<std::uint8_t> makeGlyphs()
{
    Mask grid(side, side);
    drawHalf(plain, 0, grid);
    drawHalf(fancy, 128, grid);

    // Turned over top to bottom.
    std::vector<std::uint8_t> indices;
    for (int y = side - 1; y >= 0; --y) {
        for (int x = 0; x < side; ++x) {
            const double ink = std::pow(clamp01(grid.at(x, y)), inkLift);
            indices.push_back(static_cast<std::uint8_t>(std::lround(ink * 255.0)));
        }
    }
    return encodeIndexed(side, side, 8, greys(256), indices);
}

} // namespace

int main(int argc, char** argv)
{
    return generate(argc, argv, "make_glyphs", makeGlyphs);
}
