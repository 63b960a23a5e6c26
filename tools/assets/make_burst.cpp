// Writes the water's sphere-mapped texture: a grey, smoky burst around a glossy violet
// ball in the middle, on black, 256 x 256 pixels in 24-bit colour.
//
//     make_burst OUTPUT.bmp
#include <cmath>

#include "tools/assets/picture.h"

namespace {

using namespace picture;

constexpr int side = 256;
constexpr int samples = 4; // per pixel and direction, for smooth edges
constexpr double ballRadius = 0.27;
constexpr double turn = 6.283185307179586;

const Colour black{0.0, 0.0, 0.0};
const Colour violet{0.46, 0.14, 0.72};

// The ball at a point inside it, lit from the upper left: violet with a sharp white gloss
// and a faint grey rim where it would mirror the smoke around it.
Colour ball(double x, double y)
{
    const double nx = x / ballRadius;
    const double ny = y / ballRadius;
    const double nz = std::sqrt(std::fmax(0.0, 1.0 - nx * nx - ny * ny));
    const double lx = -0.48, ly = -0.56, lz = 0.67; // towards the light, unit length
    const double diffuse = clamp01(nx * lx + ny * ly + nz * lz);
    // The mirror direction of the light about the normal, against the viewer's (0, 0, 1).
    const double reflected = clamp01(2.0 * (nx * lx + ny * ly + nz * lz) * nz - lz);
    const double gloss = std::pow(reflected, 50.0) + 0.35 * std::pow(reflected, 6.0);
    const double rim = std::pow(1.0 - nz, 3.0);
    Colour colour = add(scale(violet, 0.25 + 0.85 * diffuse), scale(Colour{1.0, 0.95, 1.0}, gloss));
    return add(colour, scale(Colour{0.55, 0.5, 0.6}, 0.9 * rim));
}

// The smoke at a point outside the ball: streaks flung outwards, broken up by puffs, a
// violet glow close to the ball, all faded to black before the edge.
Colour smoke(const PeriodicNoise& streaks, const PeriodicNoise& puffs, double x, double y)
{
    const double radius = std::sqrt(x * x + y * y);
    // The angle goes once round the streaks' lattice, so they meet themselves behind the ball.
    const double around = (std::atan2(y, x) / turn + 0.5) * 12.0;
    const double rays = clamp01(0.4 + 1.6 * streaks.fractal(around, 1.2 * radius, 4));
    const double warpX = puffs.fractal(2.0 * x, 2.0 * y, 3);
    const double warpY = puffs.fractal(2.0 * x + 5.3, 2.0 * y + 1.9, 3);
    const double puff = clamp01(0.5 + 1.1 * puffs.fractal(2.0 * x + 1.5 * warpX, 2.0 * y + 1.5 * warpY, 5));
    const double distance = radius - ballRadius;
    const double falloff = std::exp(-distance / 0.42) * (1.0 - smoothstep(0.72, 0.97, radius));
    const double density = falloff * puff * (0.3 + 0.7 * rays);
    // Grey smoke, the violet of the ball's light in it near the ball.
    const Colour grey{0.86, 0.85, 0.9};
    const Colour glow = scale(mix(violet, Colour{0.8, 0.6, 1.0}, 0.5), std::exp(-distance / 0.06));
    return add(scale(grey, 1.25 * density), scale(glow, 0.8 * (1.0 - smoothstep(0.72, 0.97, radius))));
}

std::vector<std::uint8_t> makeBurst()
{
    const PeriodicNoise streaks(105, 12);
    const PeriodicNoise puffs(1105, 8);
    Image image(side, side);
    for (int row = 0; row < side; ++row) {
        for (int column = 0; column < side; ++column) {
            Colour sum = black;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const double x = (column + (sx + 0.5) / samples) / (side / 2) - 1.0;
                    const double y = (row + (sy + 0.5) / samples) / (side / 2) - 1.0;
                    const bool inside = x * x + y * y < ballRadius * ballRadius;
                    sum = add(sum, inside ? ball(x, y) : smoke(streaks, puffs, x, y));
                }
            }
            image.at(column, row) = scale(sum, 1.0 / (samples * samples));
        }
    }
    return encodeTrueColour(image);
}

} // namespace

int main(int argc, char** argv)
{
    return generate(argc, argv, "make_burst", makeBurst);
}
