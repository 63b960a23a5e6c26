#pragma once

#include "platform/gl.h"
#include "scene/vec3.h"

// The water: a square grid of vertices whose heights follow a damped height field,
// drawn as sphere-mapped triangle strips added onto the frame. A splash lifts four fixed
// vertices, and the simulation spreads the disturbance as rings that die away. Each draw
// shows the current state and then advances one step, so the water runs at the frame
// rate. All storage is inside the object, at the capacity of 100 x 100 vertices.
class RippleSurface {
public:
    static constexpr int capacity = 100;

    virtual ~RippleSurface();

    // Stores the grid's side in vertices (kept between 2 and the capacity) and the
    // splash height, then lays the grid out flat.
    void setup(int size, float splashHeight);
    // Every vertex at height -20, x = i / N x 50 and z = j / N x 50, at rest. The
    // normals keep what they held.
    void reset();
    // Zeroes every normal, as static storage holds them before the first draw. The
    // program never needs it (see resetShowState in show/frame_script.h).
    void clearNormals();
    // Draws the surface with `texture` sphere-mapped, then computes the normals of what
    // was drawn and advances one step. Leaves its GL state behind: texturing, lighting,
    // sphere-map generation and blending on, the depth test off, blending (source colour,
    // one), decal texturing, colour 0.9.
    void draw(GLuint texture);
    // Lifts the four vertices at rows 13 and 14, columns 25 and 26 to the splash height;
    // velocities stay as they are.
    void splash();
    void computeNormals();
    void step();

    float splashHeight;
    int size;
    Vec3 positions[capacity][capacity];
    Vec3 normals[capacity][capacity];
    float force[capacity][capacity];
    float velocity[capacity][capacity];
};

extern RippleSurface rippleSurface;
