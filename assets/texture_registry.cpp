#include "assets/texture_registry.h"

#include <cmath>

TextureRegistry::TextureRegistry() : textureCount(0), textureNames{} {}

TextureRegistry::~TextureRegistry()
{
    for (std::uint32_t i = 0; i < textureCount; ++i) {
        glDeleteTextures(1, &textureNames[i]);
    }
}

void TextureRegistry::forgetTextures()
{
    textureCount = 0;
}

GLuint TextureRegistry::createTexture(int side, const std::uint8_t* pixels)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    // Past the table's end the texture is still made, only not recorded: it goes with
    // its context like every other.
    if (textureCount < capacity) {
        textureNames[textureCount] = name;
        ++textureCount;
    }

    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, side, side, 0, GL_BGR_EXT, GL_UNSIGNED_BYTE, pixels);
    return name;
}

int textureSide(int smaller)
{
    if (smaller < 1) {
        return 0;
    }
    // The 0.01 lets a side just short of a power of two round up to it.
    const int exponent = static_cast<int>(std::floor(std::log(static_cast<double>(smaller)) / std::log(2.0) + 0.01));
    if (exponent > 30) {
        return 0;
    }
    return 1 << exponent;
}

std::size_t paddedRowBytes(int side)
{
    return (static_cast<std::size_t>(side) * 3 + 3) / 4 * 4;
}
