// Writes the sphere's environment map: a soft grey cloud, brightest near the middle and
// fading to black well before the edges, 256 x 256 pixels in 16 grey levels.
//
//     make_cloud OUTPUT.bmp
#include <cmath>

#include "tools/assets/picture.h"

namespace {

using namespace picture;

constexpr int side = 256;
constexpr int levels = 16;

// The cloud's brightness at a point, with (0, 0) in the middle and 1 at the middle of an edge.
double brightness(const PeriodicNoise& puffs, double x, double y)
{
    const double radius = std::sqrt(x * x + y * y);
    // A broad glow that is gone by 94 % of the way to the edge.
    const double glow = 1.0 - smoothstep(0.0, 0.94, radius);
    // Puffs: a few coarse layers of noise, lightening and darkening the glow.
    const double puff = puffs.fractal(2.0 * x + 2.0, 2.0 * y + 2.0, 3, 0.5);
    const double body = glow * (0.78 + 0.75 * puff);
    // A soft, lighter core.
    const double core = 0.22 * std::exp(-radius * radius / 0.04);
    return clamp01(body + core);
}

std::vector<std::uint8_t> makeCloud()
{
    const PeriodicNoise puffs(104, 4);
    std::vector<std::uint8_t> indices;
    for (int row = 0; row < side; ++row) {
        for (int column = 0; column < side; ++column) {
            const double x = (column + 0.5) / (side / 2) - 1.0;
            const double y = (row + 0.5) / (side / 2) - 1.0;
            indices.push_back(static_cast<std::uint8_t>(orderedLevel(brightness(puffs, x, y), levels, column, row)));
        }
    }
    return encodeIndexed(side, side, 4, greys(levels), indices);
}

} // namespace

int main(int argc, char** argv)
{
    return generate(argc, argv, "make_cloud", makeCloud);
}
