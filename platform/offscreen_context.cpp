#include "platform/offscreen_context.h"

#include <cstdio>

OffscreenContext::Rgba OffscreenContext::pixel(int x, int y) const
{
    finish();
    const std::uint8_t* p = &buffer_[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                                      static_cast<std::size_t>(x)) * 4];
    return Rgba{p[0], p[1], p[2], p[3]};
}

const std::uint8_t* OffscreenContext::rgba() const
{
    finish();
    return buffer_.data();
}

void OffscreenContext::save(const std::string& path) const
{
    finish();
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
