// The off-screen context on OSMesa's desktop GL, which draws straight into buffer_.
#include <GL/osmesa.h>

#include <stdexcept>

#include "platform/offscreen_context.h"

struct OffscreenContext::Native {
    OSMesaContext context;
};

OffscreenContext::OffscreenContext(int width, int height, int stencilBits)
    : width_(width),
      height_(height),
      buffer_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4),
      native_(new Native{OSMesaCreateContextExt(OSMESA_RGBA, 16, stencilBits, 0, nullptr)})
{
    if (!native_->context || !OSMesaMakeCurrent(native_->context, buffer_.data(), GL_UNSIGNED_BYTE, width, height)) {
        throw std::runtime_error("cannot make an off-screen GL context");
    }
    // Rows of the buffer run from the top, as a window's do.
    OSMesaPixelStore(OSMESA_Y_UP, 0);
}

OffscreenContext::~OffscreenContext()
{
    glFinish();
    OSMesaDestroyContext(native_->context);
}

void OffscreenContext::finish() const
{
    glFinish();
}
