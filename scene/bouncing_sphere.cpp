#include "scene/bouncing_sphere.h"

#include <cmath>

BouncingSphere::~BouncingSphere() = default;

void BouncingSphere::setup(GLuint base, GLuint environment)
{
    baseTexture = base;
    environmentTexture = environment;
    quadric = gluNewQuadric();
    gluQuadricTexture(quadric, GL_TRUE);
    stretch = 1.0;
    stretchVelocity = 0.0;
    contact = false;
    lift = 0.0f;
}

void BouncingSphere::draw(float time)
{
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_NORMALIZE);
    glPushMatrix();

    // The bounce follows the clock; the spring's damping and pull act once per call,
    // whatever the time step, so they run faster on faster machines.
    const double bounce = std::fabs(std::sin(static_cast<double>(time)) * 1.2);
    lift = static_cast<float>(bounce + 0.75);
    if (bounce < 0.3) {
        // The landing kick, near the bottom of the bounce.
        stretchVelocity = stretchVelocity - (0.3 - bounce) * 0.5;
    }
    stretchVelocity = stretchVelocity * 0.98 - (stretch - 0.85);
    stretch = stretch + stretchVelocity * (static_cast<double>(time) - static_cast<double>(lastTime));
    // It never sinks below 0.85, and touches the water while |sin t| < 1/12.
    if (lift < 0.85) {
        lift = 0.85f;
        contact = true;
    } else {
        contact = false;
    }

    // The base point, above the water's splash vertices.
    glTranslatef(25.0f, -0.5f, 25.0f);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_BLEND);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);

    glPushMatrix();
    glTranslatef(0.0f, static_cast<float>(lift * 4.9), 0.0f);
    glScalef(3.0f, static_cast<float>(stretch * 3.0), 3.0f);

    // First pass, opaque: with GL's default object planes s follows the sphere's x and
    // t its y, so the base texture is projected along z and repeats.
    glBindTexture(GL_TEXTURE_2D, baseTexture);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glTexGenf(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glTexGenf(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glDepthFunc(GL_LESS);
    glDisable(GL_BLEND);
    glColor4f(0.75f, 0.75f, 0.75f, 0.75f);
    glFrontFace(GL_CCW);
    gluSphere(quadric, 1.0, 16, 16);

    // Second pass: the environment added at full weight over the first.
    glTexGenf(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGenf(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, environmentTexture);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    gluSphere(quadric, 1.0, 16, 16);

    glPopMatrix();
    glPopMatrix();
    lastTime = time;
}
