// Writes the program's icon group: a glossy violet ball over rippling blue water, at
// 32 x 32 and 16 x 16 pixels in 32-bit colour with alpha. Deterministic: the same
// bytes on every run.
//
//     make_icon OUTPUT.ico
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/output/output_file.h"

namespace {

struct Colour {
    double r, g, b, a;
};

double clamp01(double v)
{
    return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v);
}

double mix(double from, double to, double amount)
{
    return from + (to - from) * amount;
}

// The picture at a point of the unit square, y growing downwards.
Colour shade(double x, double y)
{
    // A square with rounded corners.
    const double corner = 0.18;
    const double cx = x < corner ? corner - x : (x > 1.0 - corner ? x - (1.0 - corner) : 0.0);
    const double cy = y < corner ? corner - y : (y > 1.0 - corner ? y - (1.0 - corner) : 0.0);
    if (cx * cx + cy * cy > corner * corner) {
        return Colour{0, 0, 0, 0};
    }

    // Sky: the show's deep blue, darker towards the top.
    Colour c{mix(0.06, 0.16, y), mix(0.08, 0.23, y), mix(0.25, 0.50, y), 1.0};

    // Water below the horizon, with bright ripple crests.
    const double horizon = 0.66;
    if (y > horizon) {
        const double depth = (y - horizon) / (1.0 - horizon);
        const double crest = std::pow(0.5 + 0.5 * std::sin(40.0 * y + 6.0 * std::sin(7.0 * x)), 6.0);
        c = Colour{mix(0.20, 0.05, depth) + 0.45 * crest, mix(0.30, 0.10, depth) + 0.45 * crest,
                   mix(0.70, 0.35, depth) + 0.35 * crest, 1.0};
    }

    // The ball, lit from the upper left, resting on the water.
    const double bx = x - 0.5;
    const double by = y - 0.42;
    const double radius = 0.29;
    const double d2 = (bx * bx + by * by) / (radius * radius);
    if (d2 < 1.0) {
        const double nz = std::sqrt(1.0 - d2);
        const double nx = bx / radius;
        const double ny = by / radius;
        const double diffuse = clamp01(-0.5 * nx - 0.6 * ny + 0.62 * nz);
        const double highlight = std::pow(clamp01(-0.35 * nx - 0.45 * ny + 0.82 * nz), 24.0);
        c = Colour{0.22 + 0.55 * diffuse + highlight, 0.06 + 0.25 * diffuse + highlight,
                   0.40 + 0.55 * diffuse + highlight, 1.0};
    }
    return c;
}

std::uint8_t channel(double v)
{
    return static_cast<std::uint8_t>(std::lround(clamp01(v) * 255.0));
}

// One image of the icon as a DIB: header, bottom-up BGRA pixels, then the AND mask.
std::vector<std::uint8_t> image(int size)
{
    std::vector<std::uint8_t> out;
    auto put32 = [&out](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    };
    auto put16 = [&out](std::uint16_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    const int maskStride = ((size + 31) / 32) * 4;
    put32(40);
    put32(static_cast<std::uint32_t>(size));
    put32(static_cast<std::uint32_t>(2 * size)); // colour and mask stacked
    put16(1);
    put16(32);
    put32(0);
    put32(static_cast<std::uint32_t>(size * size * 4 + maskStride * size));
    put32(0);
    put32(0);
    put32(0);
    put32(0);

    // 4 x 4 samples per pixel, averaged with premultiplied alpha.
    const int samples = 4;
    for (int row = size - 1; row >= 0; --row) {
        for (int column = 0; column < size; ++column) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const Colour c = shade((column + (sx + 0.5) / samples) / size,
                                           (row + (sy + 0.5) / samples) / size);
                    r += c.r * c.a;
                    g += c.g * c.a;
                    b += c.b * c.a;
                    a += c.a;
                }
            }
            const double count = samples * samples;
            const double alpha = a / count;
            const double unpremultiply = a > 0.0 ? 1.0 / a : 0.0;
            out.push_back(channel(b * unpremultiply));
            out.push_back(channel(g * unpremultiply));
            out.push_back(channel(r * unpremultiply));
            out.push_back(channel(alpha));
        }
    }
    // The alpha channel decides transparency; the mask is all opaque.
    out.insert(out.end(), static_cast<std::size_t>(maskStride * size), 0);
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icon OUTPUT.ico\n");
        return 2;
    }
    const int sizes[] = {32, 16};
    std::vector<std::vector<std::uint8_t>> images;
    for (int size : sizes) {
        images.push_back(image(size));
    }

    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    std::vector<std::uint8_t> file;
    file.reserve(offset + images[0].size() + images[1].size());
    file = {0, 0, 1, 0, static_cast<std::uint8_t>(images.size()), 0};
    for (std::size_t i = 0; i < images.size(); ++i) {
        const std::uint32_t length = static_cast<std::uint32_t>(images[i].size());
        const std::uint8_t entry[16] = {
            static_cast<std::uint8_t>(sizes[i]), static_cast<std::uint8_t>(sizes[i]), 0, 0, 1, 0, 32, 0,
            static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24),
            static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(offset >> 8),
            static_cast<std::uint8_t>(offset >> 16), static_cast<std::uint8_t>(offset >> 24)};
        file.insert(file.end(), entry, entry + 16);
        offset += length;
    }
    for (const auto& data : images) {
        file.insert(file.end(), data.begin(), data.end());
    }

    std::string error;
    if (!writeOutputFile(argv[1], file, error)) {
        std::fprintf(stderr, "make_icon: cannot write %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    return 0;
}
