#pragma once

// What the picture generators share: colours and their mixing, a seeded noise that wraps
// around, palettes and the dithering onto them, and Windows bitmap files. Everything here
// is deterministic: no clock, and randomness only from explicit seeds.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace picture {

// Red, green and blue from 0 to 1.
struct Colour {
    double r = 0.0;
    double g = 0.0;
    double b = 0.0;
};

double clamp01(double value);
double mix(double from, double to, double amount);
Colour mix(Colour from, Colour to, double amount);
Colour scale(Colour colour, double factor);
Colour add(Colour a, Colour b);
// 0 below `edge0`, 1 above `edge1`, a smooth S-curve between.
double smoothstep(double edge0, double edge1, double x);

// A colour picture, top row first as seen.
struct Image {
    Image(int width, int height);
    Colour& at(int x, int y) { return pixels[index(x, y)]; }
    const Colour& at(int x, int y) const { return pixels[index(x, y)]; }

    int width;
    int height;
    std::vector<Colour> pixels;

private:
    std::size_t index(int x, int y) const
    {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
    }
};

// One value from 0 to 1 per pixel, top row first: ink coverage, a grey picture.
struct Mask {
    Mask(int width, int height);
    double& at(int x, int y) { return values[index(x, y)]; }
    double at(int x, int y) const { return values[index(x, y)]; }

    int width;
    int height;
    std::vector<double> values;

private:
    std::size_t index(int x, int y) const
    {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
    }
};

// A seeded source of random numbers (SplitMix64): the same seed, the same sequence.
class Random {
public:
    explicit Random(std::uint64_t seed) : state(seed) {}
    std::uint64_t next();
    // Uniform from 0 (included) to 1 (excluded).
    double uniform();
    double uniform(double low, double high) { return low + (high - low) * uniform(); }

private:
    std::uint64_t state;
};

// Gradient noise on a square lattice that wraps around after `period` cells in both
// directions, so noise(x + period, y) = noise(x, y + period) = noise(x, y). Values lie
// roughly within -0.7 to 0.7.
class PeriodicNoise {
public:
    PeriodicNoise(std::uint64_t seed, int period);

    double at(double x, double y) const;
    // A sum of `octaves` layers, each of twice the frequency and `gain` times the
    // amplitude of the one before; the finer lattices wrap at the same place, so the sum
    // keeps the period. Scaled so that its values also lie roughly within -0.7 to 0.7.
    double fractal(double x, double y, int octaves, double gain = 0.5) const;

private:
    double layer(double x, double y, int period, int octave) const;
    double gradientDot(int ix, int iy, int period, int octave, double dx, double dy) const;

    std::uint64_t seed;
    int period;
};

using Palette = std::vector<Colour>;

// `count` colours spread evenly along a line through `stops`, the first and the last
// stop included.
Palette ramp(const std::vector<Colour>& stops, int count);
// Greys from black to white in `count` even steps.
Palette greys(int count);

// The index along a ramp of `levels` entries for a value from 0 to 1, dithered with an
// 8 x 8 ordered (Bayer) threshold pattern. The pattern depends only on x and y modulo 8,
// so a picture whose sides are multiples of 8 stays tileable.
int orderedLevel(double value, int levels, int x, int y);

// Each pixel as the index of a palette colour, chosen by Floyd-Steinberg error diffusion:
// the nearest colour, with what it misses passed on to the pixels not yet chosen.
std::vector<std::uint8_t> diffuse(const Image& image, const Palette& palette);

// A .bmp file of palette indices (`indices` top row first, one byte per pixel) at 4 or 8
// bits per pixel, with the palette as its colour table.
std::vector<std::uint8_t> encodeIndexed(int width, int height, int bitCount, const Palette& palette,
                                        const std::vector<std::uint8_t>& indices);
// A .bmp file of 24-bit pixels.
std::vector<std::uint8_t> encodeTrueColour(const Image& image);

// A generator's whole main: checks that the command line names one output file, makes
// the picture and writes it there. Failures are reported on stderr with `program`'s
// name; returns the exit status.
int generate(int argc, char** argv, const char* program, const std::function<std::vector<std::uint8_t>()>& make);

} // namespace picture
