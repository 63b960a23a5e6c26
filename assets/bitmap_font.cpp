#include "assets/bitmap_font.h"

#include <cstring>

BitmapFont::BitmapFont(std::uint32_t cellSize) : listBase(0), glyphTexture(0), cellSize(cellSize) {}

BitmapFont::~BitmapFont()
{
    releaseLists();
}

void BitmapFont::build()
{
    listBase = glGenLists(256);
    // Bound once here, outside the lists: print binds it again for itself.
    glBindTexture(GL_TEXTURE_2D, glyphTexture);

    const auto side = static_cast<GLint>(cellSize);
    // A cell of 5 pixels or less would advance by nothing rather than wrap around.
    const std::uint32_t advance = cellSize > 5 ? cellSize - 5 : 0;
    const float cell = 0.0625f;

    for (GLuint glyph = 0; glyph < 256; ++glyph) {
        // The grid counts its rows from the bottom of the picture and stores every glyph
        // upside down. With the picture's top row at t = 0, the square's top edge takes
        // the cell's larger t, its lower edge in the picture, which turns the glyph upright.
        const float left = static_cast<float>(glyph % 16) * cell;
        const float upper = 1.0f - static_cast<float>(glyph / 16) * cell;

        glNewList(listBase + glyph, GL_COMPILE);
        glBegin(GL_QUADS);
        glTexCoord2f(left, upper);
        glVertex2i(0, 0);
        glTexCoord2f(left + cell, upper);
        glVertex2i(side, 0);
        glTexCoord2f(left + cell, upper - cell);
        glVertex2i(side, side);
        glTexCoord2f(left, upper - cell);
        glVertex2i(0, side);
        glEnd();
        glTranslated(static_cast<double>(advance), 0.0, 0.0);
        glEndList();
    }
}

void BitmapFont::print(int x, int y, const char* text)
{
    glBindTexture(GL_TEXTURE_2D, glyphTexture);
    glPushMatrix();
    glTranslated(x, y, 0.0);
    // Character 32 + g calls list listBase + g. Taken as signed bytes, codes from 128 up
    // are negative and, like those below 32, fall outside the font's lists: GL skips
    // them without drawing or moving the pen.
    glListBase(listBase - 32);
    glCallLists(static_cast<GLsizei>(std::strlen(text)), GL_BYTE, text);
    glPopMatrix();
}

void BitmapFont::releaseLists()
{
    glDeleteLists(listBase, 256);
}
