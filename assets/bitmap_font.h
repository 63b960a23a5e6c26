#pragma once

#include <cstdint>

#include "platform/gl.h"

// Prints strings of 8-bit characters in the 2-D overlay (window pixels, origin top-left,
// y down), one display list per glyph of a 16 x 16 grid of cells in one texture: a
// textured square of `cellSize` pixels, then a move of the pen `cellSize` - 5 pixels to
// the right, so that neighbouring squares overlap. Characters 32 to 127 print glyphs 0
// to 95; every other code names no list of the font and prints nothing.
class BitmapFont {
public:
    explicit BitmapFont(std::uint32_t cellSize);
    // Releases the lists; at process exit no context is current any more and the call
    // does nothing, as the lists went with their context.
    virtual ~BitmapFont();

    // Compiles the 256 glyph lists from `glyphTexture`, which must be set. Needs a
    // current GL context.
    void build();
    // Prints `text` with the top-left corner of its first glyph at (x, y). Binds the
    // glyph texture and leaves the caller's matrix as it was; texturing, blending,
    // colour and texture environment are the caller's.
    void print(int x, int y, const char* text);
    void releaseLists();

    GLuint listBase;      // the first of the 256 glyph lists
    GLuint glyphTexture;  // the glyph grid, its picture's top row at t = 0
    std::uint32_t cellSize;
};

extern BitmapFont bitmapFont;
