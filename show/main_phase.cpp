#include "show/main_phase.h"

#include <cmath>

#include "assets/bitmap_font.h"
#include "platform/frame_timer.h"
#include "platform/gl.h"
#include "platform/render_window.h"
#include "platform/window_size.h"
#include "scene/bouncing_sphere.h"
#include "scene/camera.h"
#include "scene/ripple_surface.h"
#include "show/credits_scroller.h"
#include "show/site.h"

GLuint swirlTexture = 0;
GLuint rippleTexture = 0;
GLuint barTexture = 0;
GLuint layerTexture = 0;

float layerDriftX = 0.0f;
float layerDriftY = 0.0f;

namespace {

// The separator runs down x = 289; the panel fills the rest of the window.
constexpr float separatorX = 289.0f;
constexpr float panelLeft = 290.0f;
constexpr float panelRight = windowWidth;
constexpr float panelBottom = windowHeight;

// A rectangle as two triangles, corners clockwise from the top-left, at z = 1; with
// texture coordinates (0, 0) top-left to (1, 1) bottom-right when `textured`.
void drawRectangle(float left, float top, float right, float bottom, bool textured)
{
    struct Corner {
        float x, y, s, t;
    };
    const Corner topLeft{left, top, 0.0f, 0.0f};
    const Corner topRight{right, top, 1.0f, 0.0f};
    const Corner bottomRight{right, bottom, 1.0f, 1.0f};
    const Corner bottomLeft{left, bottom, 0.0f, 1.0f};
    const Corner corners[] = {topLeft, topRight, bottomRight, topLeft, bottomRight, bottomLeft};

    glBegin(GL_TRIANGLES);
    for (const Corner& corner : corners) {
        if (textured) {
            glTexCoord2f(corner.s, corner.t);
        }
        glVertex3f(corner.x, corner.y, 1.0f);
    }
    glEnd();
}

// The water and the sphere, splashing the water when the sphere has landed. The first
// landing, at the very start, is let pass: the first splash comes with the second.
void drawScene()
{
    // The contact that the previous frame's sphere found.
    if (bouncingSphere.contact && frameTimer.elapsed() > 3.0L) {
        bouncingSphere.contact = false;
        rippleSurface.splash();
    }
    glDisable(GL_DEPTH_TEST);
    rippleSurface.draw(rippleTexture);
    bouncingSphere.draw(static_cast<float>(frameTimer.elapsed()));
    glDisable(GL_DEPTH_TEST);
}

// The black line and the tinted panel right of it, which also marks its pixels in the
// stencil buffer; then the two translucent layers circling in opposite directions,
// drawn only where the panel is.
void drawPanel()
{
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glColor4f(0.0f, 0.0f, 0.0f, 0.0f);
    glBegin(GL_LINES);
    glVertex3f(separatorX, 0.0f, 1.0f);
    glVertex3f(separatorX, panelBottom, 1.0f);
    glEnd();

    // Added onto the scene behind it.
    glEnable(GL_BLEND);
    glEnable(GL_STENCIL_TEST);
    glStencilFunc(GL_ALWAYS, 1, 1);
    glStencilOp(GL_REPLACE, GL_REPLACE, GL_REPLACE);
    glColor4f(0.1f, 0.1f, 0.3f, 1.0f);
    drawRectangle(panelLeft, 0.0f, panelRight, panelBottom, false);

    glStencilFunc(GL_EQUAL, 1, 1);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    // Without a stencil buffer the stencil test passes everywhere; the panel is a
    // rectangle, so a scissor box of its pixels clips the layers the same way. The box
    // is in window pixels, from the bottom; the overlay's rows run from the top.
    if (!renderWindow.hasStencil) {
        const int scale = renderWindow.overlayScale;
        glEnable(GL_SCISSOR_TEST);
        glScissor(static_cast<GLint>(panelLeft) * scale, renderWindow.height - static_cast<GLint>(panelBottom) * scale,
                  static_cast<GLsizei>(panelRight - panelLeft) * scale, static_cast<GLsizei>(panelBottom) * scale);
    }

    // A full turn every 2 pi x 16 pixels of scroll, about 6.7 seconds; at any angle
    // both 640 x 780 rectangles cover the whole panel.
    const double angle = creditsScroll * 0.0625;
    layerDriftX = static_cast<float>(100.0 * std::sin(angle));
    layerDriftY = static_cast<float>(100.0 * std::cos(angle));
    const float dx = layerDriftX;
    const float dy = layerDriftY;

    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, layerTexture);
    glColor4f(0.1f, 0.1f, 0.3f, 0.3f);
    drawRectangle(dx + 100.0f, dy - 100.0f, dx + 740.0f, dy + 680.0f, true);

    // Opposite the first across the circle's centre (100, -100).
    glBindTexture(GL_TEXTURE_2D, swirlTexture);
    glColor4f(0.1f, 0.1f, 0.3f, 0.2f);
    drawRectangle(100.0f - dx, -100.0f - dy, 740.0f - dx, 680.0f - dy, true);

    glDisable(GL_STENCIL_TEST);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_BLEND);
}

// The top 15 % of the banner picture, stretched to 250 x 40 pixels, opaque.
void drawBar()
{
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, barTexture);
    glColor4f(0.2f, 0.2f, 0.5f, 0.4f);
    glBegin(GL_TRIANGLES);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(10.0f, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(260.0f, 0.0f);
    glTexCoord2f(1.0f, 0.15f);
    glVertex2f(260.0f, 40.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(10.0f, 0.0f);
    glTexCoord2f(1.0f, 0.15f);
    glVertex2f(260.0f, 40.0f);
    glTexCoord2f(0.0f, 0.15f);
    glVertex2f(10.0f, 40.0f);
    glEnd();
}

} // namespace

void drawMainPhaseFrame()
{
    renderWindow.beginFrame(camera);
    drawScene();

    renderWindow.beginOverlay();
    // Textures replace the colour and keep its alpha; the sphere left texture
    // generation on.
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    updateCreditsScroll();

    drawPanel();
    drawBar();

    // The address and the credits add half of the font's colour.
    glEnable(GL_BLEND);
    glColor4f(1.0f, 1.0f, 1.0f, 0.5f);
    bitmapFont.print(0, 450, siteAddress);
    drawCredits();
    glDisable(GL_BLEND);

    renderWindow.endOverlay();
    renderWindow.present();
}
