#include "tools/assets/picture.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

#include "tools/output/output_file.h"

namespace picture {

double clamp01(double value)
{
    return value < 0.0 ? 0.0 : (value > 1.0 ? 1.0 : value);
}

double mix(double from, double to, double amount)
{
    return from + (to - from) * amount;
}

Colour mix(Colour from, Colour to, double amount)
{
    return Colour{mix(from.r, to.r, amount), mix(from.g, to.g, amount), mix(from.b, to.b, amount)};
}

Colour scale(Colour colour, double factor)
{
    return Colour{colour.r * factor, colour.g * factor, colour.b * factor};
}

Colour add(Colour a, Colour b)
{
    return Colour{a.r + b.r, a.g + b.g, a.b + b.b};
}

double smoothstep(double edge0, double edge1, double x)
{
    const double t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3.0 - 2.0 * t);
}

Image::Image(int width, int height)
    : width(width), height(height), pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
{
}

Mask::Mask(int width, int height)
    : width(width), height(height), values(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0.0)
{
}

namespace {

// The finalising mix of SplitMix64: every input bit affects every output bit.
std::uint64_t scramble(std::uint64_t value)
{
    value += 0x9e3779b97f4a7c15ull;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ull;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebull;
    return value ^ (value >> 31);
}

int wrap(int value, int period)
{
    const int rest = value % period;
    return rest < 0 ? rest + period : rest;
}

// Perlin's fade curve: its first and second derivatives vanish at 0 and 1, so the
// lattice does not show.
double fade(double t)
{
    return t * t * t * (t * (t * 6.0 - 15.0) + 10.0);
}

} // namespace

std::uint64_t Random::next()
{
    const std::uint64_t current = state;
    state += 0x9e3779b97f4a7c15ull;
    return scramble(current);
}

double Random::uniform()
{
    return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0);
}

PeriodicNoise::PeriodicNoise(std::uint64_t seed, int period) : seed(seed), period(period) {}

double PeriodicNoise::at(double x, double y) const
{
    return layer(x, y, period, 0);
}

double PeriodicNoise::fractal(double x, double y, int octaves, double gain) const
{
    double sum = 0.0;
    double amplitude = 1.0;
    double total = 0.0;
    double frequency = 1.0;
    for (int octave = 0; octave < octaves; ++octave) {
        sum += amplitude * layer(x * frequency, y * frequency, period << octave, octave);
        total += amplitude;
        amplitude *= gain;
        frequency *= 2.0;
    }
    return sum / total;
}

double PeriodicNoise::layer(double x, double y, int layerPeriod, int octave) const
{
    const double fx = std::floor(x);
    const double fy = std::floor(y);
    const int ix = static_cast<int>(fx);
    const int iy = static_cast<int>(fy);
    const double dx = x - fx;
    const double dy = y - fy;
    const double n00 = gradientDot(ix, iy, layerPeriod, octave, dx, dy);
    const double n10 = gradientDot(ix + 1, iy, layerPeriod, octave, dx - 1.0, dy);
    const double n01 = gradientDot(ix, iy + 1, layerPeriod, octave, dx, dy - 1.0);
    const double n11 = gradientDot(ix + 1, iy + 1, layerPeriod, octave, dx - 1.0, dy - 1.0);
    const double u = fade(dx);
    const double v = fade(dy);
    return mix(mix(n00, n10, u), mix(n01, n11, u), v);
}

// The lattice point's gradient, a unit vector whose direction comes from a hash of the
// seed, the octave and the point wrapped into the period, dotted with the offset.
double PeriodicNoise::gradientDot(int ix, int iy, int layerPeriod, int octave, double dx, double dy) const
{
    const auto px = static_cast<std::uint64_t>(wrap(ix, layerPeriod));
    const auto py = static_cast<std::uint64_t>(wrap(iy, layerPeriod));
    const std::uint64_t hash = scramble(scramble(scramble(seed ^ static_cast<std::uint64_t>(octave)) ^ px) ^ py);
    const double angle = static_cast<double>(hash >> 11) * (1.0 / 9007199254740992.0) * 6.283185307179586;
    return std::cos(angle) * dx + std::sin(angle) * dy;
}

Palette ramp(const std::vector<Colour>& stops, int count)
{
    Palette palette;
    const double segments = static_cast<double>(stops.size() - 1);
    for (int i = 0; i < count; ++i) {
        const double position = segments * i / (count - 1);
        const auto segment = static_cast<std::size_t>(std::fmin(std::floor(position), segments - 1.0));
        palette.push_back(mix(stops[segment], stops[segment + 1], position - static_cast<double>(segment)));
    }
    return palette;
}

Palette greys(int count)
{
    Palette palette;
    for (int i = 0; i < count; ++i) {
        const double grey = static_cast<double>(i) / (count - 1);
        palette.push_back(Colour{grey, grey, grey});
    }
    return palette;
}

int orderedLevel(double value, int levels, int x, int y)
{
    // The Bayer matrix entry: bits of x xor y and of y interleaved, least significant first.
    int rank = 0;
    for (int bit = 0; bit < 3; ++bit) {
        rank = (rank << 2) | (((x ^ y) >> bit & 1) << 1) | (y >> bit & 1);
    }
    const double threshold = (rank + 0.5) / 64.0;
    const double position = clamp01(value) * (levels - 1);
    const double base = std::floor(position);
    const int level = static_cast<int>(base) + (position - base > threshold ? 1 : 0);
    return level < levels ? level : levels - 1;
}

std::vector<std::uint8_t> diffuse(const Image& image, const Palette& palette)
{
    Image rest = image;
    std::vector<std::uint8_t> indices(rest.pixels.size());
    auto spread = [&rest](int x, int y, const Colour& error, double weight) {
        if (x >= 0 && x < rest.width && y < rest.height) {
            rest.at(x, y) = add(rest.at(x, y), scale(error, weight));
        }
    };
    for (int y = 0; y < rest.height; ++y) {
        for (int x = 0; x < rest.width; ++x) {
            const Colour wanted = rest.at(x, y);
            std::size_t best = 0;
            double bestDistance = 1e30;
            for (std::size_t i = 0; i < palette.size(); ++i) {
                const double dr = wanted.r - palette[i].r;
                const double dg = wanted.g - palette[i].g;
                const double db = wanted.b - palette[i].b;
                const double distance = dr * dr + dg * dg + db * db;
                if (distance < bestDistance) {
                    bestDistance = distance;
                    best = i;
                }
            }
            indices[static_cast<std::size_t>(y) * static_cast<std::size_t>(rest.width) + static_cast<std::size_t>(x)] =
                static_cast<std::uint8_t>(best);
            const Colour error{wanted.r - palette[best].r, wanted.g - palette[best].g, wanted.b - palette[best].b};
            spread(x + 1, y, error, 7.0 / 16.0);
            spread(x - 1, y + 1, error, 3.0 / 16.0);
            spread(x, y + 1, error, 5.0 / 16.0);
            spread(x + 1, y + 1, error, 1.0 / 16.0);
        }
    }
    return indices;
}

namespace {

std::uint8_t channel(double value)
{
    return static_cast<std::uint8_t>(std::lround(clamp01(value) * 255.0));
}

void put16(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    put16(out, value & 0xffffu);
    put16(out, value >> 16);
}

std::size_t rowBytes(int width, int bitCount)
{
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bitCount) + 31) / 32 * 4;
}

// The 14-byte file header and the 40-byte BITMAPINFOHEADER of an uncompressed bitmap
// whose rows are stored bottom-up (a positive height), followed by its colour table.
std::vector<std::uint8_t> headers(int width, int height, int bitCount, const Palette& palette)
{
    const auto tableBytes = static_cast<std::uint32_t>(palette.size() * 4);
    const auto imageBytes = static_cast<std::uint32_t>(rowBytes(width, bitCount) * static_cast<std::size_t>(height));
    const std::uint32_t pixelsAt = 14 + 40 + tableBytes;

    std::vector<std::uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    put32(out, pixelsAt + imageBytes);
    put32(out, 0); // two reserved words
    put32(out, pixelsAt);

    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(width));
    put32(out, static_cast<std::uint32_t>(height));
    put16(out, 1); // planes
    put16(out, static_cast<std::uint32_t>(bitCount));
    put32(out, 0); // BI_RGB
    put32(out, imageBytes);
    put32(out, 2835); // 72 dots per inch, in pixels per metre
    put32(out, 2835);
    put32(out, static_cast<std::uint32_t>(palette.size()));
    put32(out, 0); // every colour matters

    for (const Colour& colour : palette) {
        out.push_back(channel(colour.b));
        out.push_back(channel(colour.g));
        out.push_back(channel(colour.r));
        out.push_back(0);
    }
    return out;
}

} // namespace

std::vector<std::uint8_t> encodeIndexed(int width, int height, int bitCount, const Palette& palette,
                                        const std::vector<std::uint8_t>& indices)
{
    if ((bitCount != 4 && bitCount != 8) || palette.size() > (std::size_t{1} << bitCount) ||
        indices.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        throw std::invalid_argument("an indexed bitmap needs 4 or 8 bits, a palette that fits and one index a pixel");
    }
    std::vector<std::uint8_t> out = headers(width, height, bitCount, palette);
    const std::size_t stride = rowBytes(width, bitCount);
    for (int y = height - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(stride, 0);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t index =
                indices[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
            if (index >= palette.size()) {
                throw std::invalid_argument("a pixel names a colour past the palette");
            }
            if (bitCount == 8) {
                row[static_cast<std::size_t>(x)] = index;
            } else {
                // Two pixels a byte, the left one in the high nibble.
                row[static_cast<std::size_t>(x / 2)] |= static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

std::vector<std::uint8_t> encodeTrueColour(const Image& image)
{
    std::vector<std::uint8_t> out = headers(image.width, image.height, 24, Palette{});
    const std::size_t stride = rowBytes(image.width, 24);
    for (int y = image.height - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(stride, 0);
        for (int x = 0; x < image.width; ++x) {
            const Colour& colour = image.at(x, y);
            const auto at = static_cast<std::size_t>(x) * 3;
            row[at] = channel(colour.b);
            row[at + 1] = channel(colour.g);
            row[at + 2] = channel(colour.r);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

int generate(int argc, char** argv, const char* program, const std::function<std::vector<std::uint8_t>()>& make)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.bmp\n", program);
        return 2;
    }
    std::vector<std::uint8_t> bytes;
    try {
        bytes = make();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s: %s\n", program, failure.what());
        return 1;
    }
    std::string error;
    if (!writeOutputFile(argv[1], bytes, error)) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", program, argv[1], error.c_str());
        return 1;
    }
    return 0;
}

} // namespace picture
