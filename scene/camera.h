#pragma once

#include "scene/vec3.h"

// The viewer: where it stands, what it looks at, the perspective parameters of the
// 3-D view, and the six planes of the current view frustum in world coordinates.
// The scene set-up writes the values once; the keys move the eye between frames.
class Camera {
public:
    // One frustum plane a·x + b·y + c·z + d, normalised so that it gives the signed
    // distance of a point, positive on the inside of the view volume.
    struct Plane {
        float a;
        float b;
        float c;
        float d;
    };

    // Slots of `planes`.
    enum PlaneSlot { Right, Left, Bottom, Top, Far, Near };

    Camera();
    virtual ~Camera();

    // Puts the viewing transform on the model-view matrix, which must be current and
    // hold the identity, and refreshes the planes when `frustumEnabled` is set. The
    // world's y is up on the screen, or -z when the eye is straight above or below the
    // target.
    void apply();

    // Extracts the planes from whatever projection and model-view matrices are current.
    void updateFrustum();

    Vec3 target;
    bool frustumEnabled;
    Plane planes[6];
    float nearDistance;
    float farDistance;
    float fieldOfView;
    Vec3 eye;
};

extern Camera camera;
