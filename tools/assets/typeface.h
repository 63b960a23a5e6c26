#pragma once

// Glyphs rasterised by FreeType from a font file, as grey coverage: the lettering of the
// banner and the font's glyph grid.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/assets/picture.h"

namespace picture {

// A rasterised glyph: coverage from 0 to 1, `width` x `rows`, top row first. `left` and
// `top` place the bitmap relative to the pen on the baseline (top counts upwards), as
// FreeType's bitmap_left and bitmap_top do; `advance` is how far the pen moves, in pixels.
struct Glyph {
    int width = 0;
    int rows = 0;
    int left = 0;
    int top = 0;
    double advance = 0.0;
    std::vector<double> coverage;

    double at(int x, int y) const
    {
        return coverage[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    }
};

// How FreeType fits outlines to the pixel grid.
enum class Hinting {
    None,
    Light,  // the auto-hinter's vertical snapping only: shapes and spacing stay true
    Native, // the font's own instructions
};

class Typeface {
public:
    // Opens the font at `path`; when it is missing, throws a message that names the
    // Debian `package` that provides it.
    Typeface(const std::string& path, const std::string& package);
    ~Typeface();
    Typeface(const Typeface&) = delete;
    Typeface& operator=(const Typeface&) = delete;

    // The size of the em square, in pixels, for the glyphs that follow.
    void setSize(double pixels);
    // Scales the glyphs that follow by `across` in width and `upright` in height, about
    // the pen on the baseline; 1 and 1 give the font's own shapes.
    void setTransform(double across, double upright);
    // Whether the font has a glyph for the character.
    bool has(char32_t code) const;
    // The glyph of a Unicode character; throws when the font has none for it.
    Glyph render(char32_t code, Hinting hinting) const;
    // The extra space between two characters that the font's kerning asks for, in pixels.
    double kerning(char32_t left, char32_t right) const;

private:
    struct Handles;
    Handles* handles;
    std::string path;
};

// The rows and columns that ink covers, the right and bottom edges excluded.
struct InkBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// Sets `text` on one line, the pen starting at column `penX` on the baseline `baselineY`
// (the row just below the baseline), with the font's kerning. Adds the ink to `into`,
// capped at full coverage, when it is given; returns where the ink lies either way.
InkBox setLine(const Typeface& face, const std::u32string& text, int penX, int baselineY, Hinting hinting,
               Mask* into);

} // namespace picture
