#pragma once

// A point or direction in world space: y is up, the water lies in the x-z plane.
struct Vec3 {
    float x;
    float y;
    float z;
};
