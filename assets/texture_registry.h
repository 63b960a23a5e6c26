#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/gl.h"

// The whole display's device context, declared as <windows.h> declares its type. It is
// made first of all the program's single instances (app/instances.inc), serves as the
// reference context when bitmaps are read as 24-bit pixels, and is never deleted. Only
// the Win32 build has one.
struct HDC__;
extern HDC__* screenDC;

// Turns the program's bitmap resources into GL textures and remembers every name it
// makes, to delete them when it goes. Also computes the panel's procedural texture.
//
// loadBitmap reads the resource through the platform (texture_registry_win32.cpp in the
// program, texture_registry_offscreen.cpp on the host); the rest is portable.
class TextureRegistry {
public:
    static constexpr std::uint32_t capacity = 128;

    TextureRegistry();
    // Deletes the recorded names in the order they were made, one call per name. At
    // process exit no rendering context is current any more and the calls do nothing:
    // the textures already went with their context.
    virtual ~TextureRegistry();

    // Makes a square RGB texture of the bitmap resource `number` (its low 16 bits), the
    // picture's top row at t = 0, linear filtering, one level. Returns its name, left
    // bound, or 0 when the resource cannot be loaded. Needs a current GL context.
    GLuint loadBitmap(int number);

    // Makes the 256 x 256 mipmapped alpha pattern of the panel's first layer: white
    // everywhere, the pattern in the alpha channel. Returns its name, left bound. The
    // name is not recorded: it lives as long as the context.
    GLuint makeProcedural();

    // Drops every recorded name without deleting it, for when the rendering context
    // that owned the textures has been destroyed (F1 replaces the window and its
    // context): the textures went with it, and the names may be given out again by the
    // next context, whose textures the destructor must not mistake for old ones.
    void forgetTextures();

    std::uint32_t textureCount;
    GLuint textureNames[capacity];

private:
    // The last steps of every loadBitmap: a new name, recorded, bound and filled from
    // `side` rows of blue-green-red pixels, top row first, each padded to 4 bytes.
    GLuint createTexture(int side, const std::uint8_t* pixels);

    // The procedural pattern's texels, red, green, blue and alpha, row by row; every
    // call of makeProcedural rewrites it.
    static std::uint8_t pixelBuffer[256 * 256 * 4];
};

extern TextureRegistry textureRegistry;

// The side of the square texture made from a picture whose smaller side is `smaller`:
// the largest power of two not above it, except that a side within 0.01 of an octave
// below the next power takes that power (255 gives 256, 254 gives 128). 0 for a side
// below 1 or too large for a texture.
int textureSide(int smaller);

// The bytes of one row of `side` 24-bit pixels padded to 4 bytes, as GDI writes them and
// as GL reads them at its default unpack alignment.
std::size_t paddedRowBytes(int side);
