#include "tools/assets/typeface.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace picture {

struct Typeface::Handles {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
};

namespace {

std::string hex(char32_t code)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int shift = 12; shift >= 0; shift -= 4) {
        text += digits[(code >> shift) & 0xfu];
    }
    return "U+" + text;
}

} // namespace

Typeface::Typeface(const std::string& path, const std::string& package) : handles(new Handles), path(path)
{
    if (FT_Init_FreeType(&handles->library) != 0) {
        delete handles;
        throw std::runtime_error("FreeType does not start");
    }
    if (FT_New_Face(handles->library, path.c_str(), 0, &handles->face) != 0) {
        FT_Done_FreeType(handles->library);
        delete handles;
        throw std::runtime_error("cannot open the font " + path + " (it comes with the Debian package " + package +
                                 "; tools/install-deps.sh installs it)");
    }
}

Typeface::~Typeface()
{
    FT_Done_Face(handles->face);
    FT_Done_FreeType(handles->library);
    delete handles;
}

void Typeface::setSize(double pixels)
{
    // At 72 dots per inch a point is a pixel.
    if (FT_Set_Char_Size(handles->face, 0, static_cast<FT_F26Dot6>(std::lround(pixels * 64.0)), 72, 72) != 0) {
        throw std::runtime_error(path + " cannot be set to that size");
    }
}

void Typeface::setTransform(double across, double upright)
{
    FT_Matrix matrix{static_cast<FT_Fixed>(std::lround(across * 65536.0)), 0, 0,
                     static_cast<FT_Fixed>(std::lround(upright * 65536.0))};
    FT_Set_Transform(handles->face, &matrix, nullptr);
}

bool Typeface::has(char32_t code) const
{
    return FT_Get_Char_Index(handles->face, code) != 0;
}

Glyph Typeface::render(char32_t code, Hinting hinting) const
{
    const FT_UInt index = FT_Get_Char_Index(handles->face, code);
    if (index == 0) {
        throw std::runtime_error(path + " has no glyph for " + hex(code));
    }
    FT_Int32 flags = FT_LOAD_RENDER;
    switch (hinting) {
    case Hinting::None:
        flags |= FT_LOAD_NO_HINTING;
        break;
    case Hinting::Light:
        flags |= FT_LOAD_TARGET_LIGHT;
        break;
    case Hinting::Native:
        flags |= FT_LOAD_NO_AUTOHINT;
        break;
    }
    if (FT_Load_Glyph(handles->face, index, flags) != 0) {
        throw std::runtime_error(path + " cannot render " + hex(code));
    }
    const FT_GlyphSlot slot = handles->face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.rows > 0) {
        throw std::runtime_error(path + " gave no grey bitmap for " + hex(code));
    }

    Glyph glyph;
    glyph.width = static_cast<int>(bitmap.width);
    glyph.rows = static_cast<int>(bitmap.rows);
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.advance = static_cast<double>(slot->advance.x) / 64.0;
    const double levels = bitmap.num_grays > 1 ? static_cast<double>(bitmap.num_grays - 1) : 255.0;
    for (int y = 0; y < glyph.rows; ++y) {
        const unsigned char* row = bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
        for (int x = 0; x < glyph.width; ++x) {
            glyph.coverage.push_back(row[x] / levels);
        }
    }
    return glyph;
}

double Typeface::kerning(char32_t left, char32_t right) const
{
    if (!FT_HAS_KERNING(handles->face)) {
        return 0.0;
    }
    FT_Vector delta{};
    FT_Get_Kerning(handles->face, FT_Get_Char_Index(handles->face, left), FT_Get_Char_Index(handles->face, right),
                   FT_KERNING_UNFITTED, &delta);
    return static_cast<double>(delta.x) / 64.0;
}

InkBox setLine(const Typeface& face, const std::u32string& text, int penX, int baselineY, Hinting hinting,
               Mask* into)
{
    InkBox box{1 << 20, 1 << 20, -(1 << 20), -(1 << 20)};
    double pen = penX;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i > 0) {
            pen += face.kerning(text[i - 1], text[i]);
        }
        const Glyph glyph = face.render(text[i], hinting);
        // Whole pixels keep the hinted stems sharp.
        const int left = static_cast<int>(std::lround(pen)) + glyph.left;
        const int top = baselineY - glyph.top;
        for (int y = 0; y < glyph.rows; ++y) {
            for (int x = 0; x < glyph.width; ++x) {
                const double ink = glyph.at(x, y);
                if (ink <= 0.0) {
                    continue;
                }
                box.left = std::min(box.left, left + x);
                box.right = std::max(box.right, left + x + 1);
                box.top = std::min(box.top, top + y);
                box.bottom = std::max(box.bottom, top + y + 1);
                if (into && left + x >= 0 && left + x < into->width && top + y >= 0 && top + y < into->height) {
                    double& cell = into->at(left + x, top + y);
                    cell = std::min(1.0, cell + ink);
                }
            }
        }
        pen += glyph.advance;
    }
    return box;
}

} // namespace picture
