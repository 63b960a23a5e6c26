#include "platform/render_window.h"

#include "platform/gl.h"
#include "scene/camera.h"

// The 800 x 600 are placeholders: open always resizes to the size it is asked for.
RenderWindow::RenderWindow()
    : width(800),
      height(600),
      fullscreen(false),
      windowedDeclined(false),
      hasStencil(true),
      overlayScale(1),
      deviceContext(nullptr),
      renderingContext(nullptr),
      window(nullptr),
      instance(nullptr)
{
}

// Everything has been released by close by the time the destructor runs.
RenderWindow::~RenderWindow() = default;

void RenderWindow::resize(int newWidth, int newHeight)
{
    // A minimised window reports 0 x 0: the aspect ratio becomes 0, never a division by 0.
    if (newHeight == 0) {
        newHeight = 1;
    }
    glViewport(0, 0, newWidth, newHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(newWidth) / static_cast<double>(newHeight),
                   static_cast<double>(0.1f), 600.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    width = newWidth;
    height = newHeight;
}

bool RenderWindow::initState()
{
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    // Additive, alpha-weighted blending: the drawing steps of the show rely on it.
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_BLEND);
    glEnable(GL_COLOR_MATERIAL);
    // Lines (the overlay's separator; the scene draws none) one unit of the overlay's
    // layout wide.
    glLineWidth(static_cast<GLfloat>(overlayScale));
    // The pixel format asks for a stencil bit, but a driver may choose one without.
    GLint stencilBits = 0;
    glGetIntegerv(GL_STENCIL_BITS, &stencilBits);
    hasStencil = stencilBits > 0;
    return true;
}

bool RenderWindow::beginFrame(Camera& camera)
{
    // Made current on every frame, not only after open.
    makeCurrent();

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(camera.fieldOfView, static_cast<double>(width) / static_cast<double>(height),
                   camera.nearDistance, camera.farDistance);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    // The frame's clear colour, a deep blue: RGB 42, 58, 128 in 8 bits.
    glClearColor(0.1640625f, 0.2265625f, 0.5f, 0.5f);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);

    camera.apply();
    return true;
}

void RenderWindow::beginOverlay()
{
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    // Top and bottom swapped: y runs down from the top-left corner, in units of the
    // layout (window pixels in the program).
    glOrtho(0.0, static_cast<double>(width) / overlayScale, static_cast<double>(height) / overlayScale, 0.0,
            -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void RenderWindow::endOverlay()
{
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void RenderWindow::present()
{
    glFlush();
    glFinish();
    swapBuffers();
}
