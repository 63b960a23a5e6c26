#pragma once

#include <GL/osmesa.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gl.h"
#include "platform/window_size.h"

// A fresh off-screen GL context (OSMesa) with RGBA colour, a 16-bit depth buffer and a
// stencil buffer (none when `stencilBits` is 0), current for as long as the object lives:
// what the host tests, benchmarks and tools draw the show into in place of the window.
// Throws std::runtime_error when Mesa cannot make one.
class OffscreenContext {
public:
    OffscreenContext(int width = windowWidth, int height = windowHeight, int stencilBits = 8);
    ~OffscreenContext();
    OffscreenContext(const OffscreenContext&) = delete;
    OffscreenContext& operator=(const OffscreenContext&) = delete;

    // The 8-bit RGBA colour at a pixel, counted from the top-left corner as the
    // window counts it.
    struct Rgba {
        int r, g, b, a;
    };
    Rgba pixel(int x, int y) const;

    // The whole colour buffer once drawing has finished: width x height RGBA pixels of
    // 8 bits each, top row first.
    const std::uint8_t* rgba() const;

    // Writes the colour buffer as a binary PPM, top row first, for a person to look at.
    void save(const std::string& path) const;

    int width() const { return width_; }
    int height() const { return height_; }

private:
    int width_;
    int height_;
    std::vector<std::uint8_t> buffer_;
    OSMesaContext context_;
};
