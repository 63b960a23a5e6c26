#include <cmath>

#include "assets/texture_registry.h"

std::uint8_t TextureRegistry::pixelBuffer[256 * 256 * 4];

GLuint TextureRegistry::makeProcedural()
{
    for (std::size_t texel = 0; texel < 256 * 256; ++texel) {
        pixelBuffer[texel * 4 + 0] = 255;
        pixelBuffer[texel * 4 + 1] = 255;
        pixelBuffer[texel * 4 + 2] = 255;
        pixelBuffer[texel * 4 + 3] = 0;
    }

    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);

    // Soft vertical and horizontal bands (3.14 is meant, not pi) crossed by a fine
    // hyperbolic moire. The terms are summed in the order written, in double precision:
    // the truncated alphas depend on it. v stays below 256, so the low 8 bits are v itself.
    for (int row = 0; row < 256; ++row) {
        const double y = row - 128;
        const double rowBands = std::sin(3.14 * std::cos(y * 0.0625));
        for (int column = 0; column < 256; ++column) {
            const double x = column - 128;
            const double v = (std::sin(3.14 * std::cos(x * 0.06666666666666667)) + std::sin(x * y * 0.00390625) * 0.5 +
                              rowBands + 2.5) *
                             0.2 * 256;
            pixelBuffer[(row * 256 + column) * 4 + 3] = static_cast<std::uint8_t>(static_cast<int>(v) & 0xFF);
        }
    }

    gluBuild2DMipmaps(GL_TEXTURE_2D, 4, 256, 256, GL_RGBA, GL_UNSIGNED_BYTE, pixelBuffer);
    return name;
}
