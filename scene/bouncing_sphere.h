#pragma once

#include "platform/gl.h"

// The sphere that bounces over the water. Its height follows |sin t|, touching bottom
// every pi seconds; its vertical scale is a damped spring kicked downward near the
// bottom, so it squashes on landing and wobbles back. Each draw renders it twice on one
// quadric: an opaque pass with the base texture projected along its own z, then the
// environment texture sphere-mapped and added on top.
class BouncingSphere {
public:
    virtual ~BouncingSphere();

    // Keeps the two textures and makes the quadric. Needs a current GL context.
    void setup(GLuint baseTexture, GLuint environmentTexture);
    // Advances the motion to `time` (seconds) and draws the sphere. Leaves its GL state
    // behind: texturing, normalising, blending and both texture generations on, sphere
    // mapping, blending (source alpha, one), depth function less-or-equal, white, the
    // environment texture bound.
    void draw(float time);

    bool contact;              // the last draw found the sphere at the bottom of its bounce
    float lastTime;            // the time of the last draw
    GLUquadric* quadric;       // never deleted: it goes with the process
    GLuint environmentTexture; // the second, sphere-mapped pass
    GLuint baseTexture;        // the first, object-linear pass
    double stretch;            // the vertical scale; a spring resting at 0.85
    double stretchVelocity;    // per second
    float lift;                // the centre stands 4.9 x lift above the base point
};

extern BouncingSphere bouncingSphere;
