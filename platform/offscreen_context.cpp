#include "platform/offscreen_context.h"

#include <cstdio>
#include <stdexcept>

OffscreenContext::OffscreenContext(int width, int height, int stencilBits)
    : width_(width),
      height_(height),
      buffer_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4),
      context_(OSMesaCreateContextExt(OSMESA_RGBA, 16, stencilBits, 0, nullptr))
{
    if (!context_ || !OSMesaMakeCurrent(context_, buffer_.data(), GL_UNSIGNED_BYTE, width, height)) {
        throw std::runtime_error("cannot make an off-screen GL context");
    }
    // Rows of the buffer run from the top, as a window's do.
    OSMesaPixelStore(OSMESA_Y_UP, 0);
}

OffscreenContext::~OffscreenContext()
{
    glFinish();
    OSMesaDestroyContext(context_);
}

OffscreenContext::Rgba OffscreenContext::pixel(int x, int y) const
{
    glFinish();
    const std::uint8_t* p = &buffer_[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                                      static_cast<std::size_t>(x)) * 4];
    return Rgba{p[0], p[1], p[2], p[3]};
}

const std::uint8_t* OffscreenContext::rgba() const
{
    glFinish();
    return buffer_.data();
}

void OffscreenContext::save(const std::string& path) const
{
    glFinish();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        return;
    }
    std::fprintf(out, "P6\n%d %d\n255\n", width_, height_);
    for (std::size_t i = 0; i < buffer_.size(); i += 4) {
        std::fwrite(&buffer_[i], 1, 3, out);
    }
    std::fclose(out);
}
