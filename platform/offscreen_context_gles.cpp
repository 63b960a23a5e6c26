// The off-screen context for the GL layer: an OpenGL ES 3 context of Mesa's, made
// through EGL's surfaceless platform, drawing into a framebuffer object of its own. The
// layer is started in it; ES's own calls are named with :: here, the layer's with gl11::.
#include "platform/offscreen_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES3/gl3.h>

#include <cstring>
#include <stdexcept>

struct OffscreenContext::Native {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    GLuint framebuffer = 0;
    GLuint renderbuffers[2] = {0, 0};
    std::vector<std::uint8_t> rows;

    ~Native()
    {
        if (context != EGL_NO_CONTEXT) {
            ::glDeleteFramebuffers(1, &framebuffer);
            ::glDeleteRenderbuffers(2, renderbuffers);
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            eglDestroyContext(display, context);
        }
    }
};

OffscreenContext::OffscreenContext(int width, int height, int stencilBits)
    : width_(width),
      height_(height),
      buffer_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4),
      native_(new Native)
{
    Native& n = *native_;
    const auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr) {
        throw std::runtime_error("EGL has no eglGetPlatformDisplayEXT");
    }
    // One display for the process, opened by the first context and left open: its
    // driver then stays loaded for the contexts that follow.
    n.display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (n.display == EGL_NO_DISPLAY || !eglInitialize(n.display, nullptr, nullptr)) {
        throw std::runtime_error("cannot open EGL's surfaceless display");
    }
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_NONE};
    if (!eglBindAPI(EGL_OPENGL_ES_API) ||
        (n.context = eglCreateContext(n.display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes)) == EGL_NO_CONTEXT) {
        throw std::runtime_error("cannot make an OpenGL ES 3 context");
    }
    if (!eglMakeCurrent(n.display, EGL_NO_SURFACE, EGL_NO_SURFACE, n.context)) {
        throw std::runtime_error("cannot make the OpenGL ES 3 context current");
    }

    ::glGenFramebuffers(1, &n.framebuffer);
    ::glGenRenderbuffers(2, n.renderbuffers);
    ::glBindRenderbuffer(GL_RENDERBUFFER, n.renderbuffers[0]);
    ::glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    ::glBindRenderbuffer(GL_RENDERBUFFER, n.renderbuffers[1]);
    ::glRenderbufferStorage(GL_RENDERBUFFER, stencilBits > 0 ? GL_DEPTH24_STENCIL8 : GL_DEPTH_COMPONENT24, width,
                            height);
    ::glBindFramebuffer(GL_FRAMEBUFFER, n.framebuffer);
    ::glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, n.renderbuffers[0]);
    ::glFramebufferRenderbuffer(GL_FRAMEBUFFER, stencilBits > 0 ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                GL_RENDERBUFFER, n.renderbuffers[1]);
    if (::glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        throw std::runtime_error("the OpenGL ES 3 framebuffer is not complete");
    }
    gl11::startContext(width, height);
}

OffscreenContext::~OffscreenContext()
{
    gl11::endContext();
}

void OffscreenContext::finish() const
{
    // GL's rows run from the bottom; the window's, and buffer_'s, from the top.
    Native& n = *native_;
    const std::size_t row = static_cast<std::size_t>(width_) * 4;
    n.rows.resize(buffer_.size());
    gl11::glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, n.rows.data());
    for (int y = 0; y < height_; ++y) {
        std::memcpy(&buffer_[row * static_cast<std::size_t>(y)],
                    &n.rows[row * static_cast<std::size_t>(height_ - 1 - y)], row);
    }
}
