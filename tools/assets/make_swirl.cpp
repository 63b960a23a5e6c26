// Writes the sphere's base texture: a violet and blue swirl, 128 x 128 pixels in 16
// colours, that tiles seamlessly in both directions.
//
//     make_swirl OUTPUT.bmp
//
// Every ingredient repeats once across the tile: the noise is laid on a lattice that wraps
// around after one tile, the bands have whole numbers of periods across it, and the
// dither pattern repeats every 8 pixels. So the left edge continues the right one and the
// top edge the bottom one.
#include <cmath>

#include "tools/assets/picture.h"

namespace {

using namespace picture;

constexpr int side = 128;
constexpr int lattice = 4; // noise cells across the tile
constexpr double turn = 6.283185307179586;

// A whirl that turns the points around its centre, by `spin` radians at the centre and
// less and less further out, so that straight bands curl into spirals.
struct Whirl {
    double x, y;
    double spin;
    double reach;
};

std::vector<Whirl> whirls()
{
    Random random(1103);
    std::vector<Whirl> list;
    for (int i = 0; i < 7; ++i) {
        const double spin = random.uniform(2.2, 3.8) * (i % 2 == 0 ? 1.0 : -1.0);
        list.push_back(Whirl{random.uniform(), random.uniform(), spin, random.uniform(0.12, 0.19)});
    }
    return list;
}

// Turns (u, v) around each whirl in turn. The offset from a whirl's centre is taken the
// short way round the tile, and a whirl's turn has faded to nothing by half a tile away,
// so the twisted tile still wraps around.
void twist(const std::vector<Whirl>& list, double& u, double& v)
{
    for (const Whirl& whirl : list) {
        double dx = u - whirl.x;
        double dy = v - whirl.y;
        dx -= std::round(dx);
        dy -= std::round(dy);
        const double angle = whirl.spin * std::exp(-(dx * dx + dy * dy) / (whirl.reach * whirl.reach));
        const double c = std::cos(angle);
        const double s = std::sin(angle);
        u = whirl.x + c * dx - s * dy;
        v = whirl.y + s * dx + c * dy;
    }
}

// The swirl's value from 0 to 1 at a point of the tile, both coordinates from 0 to 1.
double swirl(const PeriodicNoise& noise, const std::vector<Whirl>& list, double u, double v)
{
    // A gentle wander of the bands, then the whirls.
    u += 0.06 * noise.fractal(u * lattice, v * lattice, 3);
    v += 0.06 * noise.fractal(u * lattice + 1.7, v * lattice + 2.9, 3);
    twist(list, u, v);
    // Bands running diagonally, three across the tile.
    const double bands = 0.5 + 0.5 * std::sin(turn * (3.0 * u + 3.0 * v));
    // Broad light and shade over the bands, so that they do not look printed.
    const double shade = clamp01(0.55 + 1.1 * noise.fractal(u * lattice + 2.3, v * lattice + 0.6, 2));
    return clamp01(0.08 + 0.85 * bands * (0.35 + 0.65 * shade));
}

std::vector<std::uint8_t> makeSwirl()
{
    // From deep blue through a clear blue into violet, and lilac at the brightest.
    const Palette palette = ramp({Colour{0.04, 0.03, 0.20}, Colour{0.12, 0.22, 0.66}, Colour{0.42, 0.24, 0.80},
                                  Colour{0.80, 0.62, 0.98}},
                                 16);
    const PeriodicNoise noise(103, lattice);
    const std::vector<Whirl> list = whirls();
    std::vector<std::uint8_t> indices;
    for (int row = 0; row < side; ++row) {
        for (int column = 0; column < side; ++column) {
            const double value = swirl(noise, list, (column + 0.5) / side, (row + 0.5) / side);
            indices.push_back(static_cast<std::uint8_t>(orderedLevel(value, 16, column, row)));
        }
    }
    return encodeIndexed(side, side, 4, palette, indices);
}

} // namespace

int main(int argc, char** argv)
{
    return generate(argc, argv, "make_swirl", makeSwirl);
}
