#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gl.h"
#include "platform/window_size.h"

// A fresh off-screen GL context with RGBA colour, a depth buffer and a stencil buffer
// (none when `stencilBits` is 0), current for as long as the object lives: what the host
// tests, benchmarks and tools draw the show into in place of the window. Throws
// std::runtime_error when it cannot be made.
//
// Two builds: OSMesa's desktop GL with a 16-bit depth buffer
// (offscreen_context_osmesa.cpp), and, with the GL layer, an OpenGL ES 3 context of
// Mesa's through EGL drawing into a framebuffer object with 24 depth bits
// (offscreen_context_gles.cpp).
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
    // Finishes the drawing and leaves the colour buffer in buffer_.
    void finish() const;

    struct Native;
    int width_;
    int height_;
    mutable std::vector<std::uint8_t> buffer_;
    std::unique_ptr<Native> native_;
};
