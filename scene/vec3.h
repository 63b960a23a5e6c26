#pragma once

#include <cmath>

// A point or direction in world space: y is up, the water lies in the x-z plane.
struct Vec3 {
    float x;
    float y;
    float z;
};

// The operations work on pointers, the output first, as the water's normals use them.

inline void vec3Copy(Vec3* dst, const Vec3* src)
{
    *dst = *src;
}

inline void vec3Subtract(Vec3* out, const Vec3* a, const Vec3* b)
{
    out->x = a->x - b->x;
    out->y = a->y - b->y;
    out->z = a->z - b->z;
}

inline void vec3Cross(Vec3* out, const Vec3* a, const Vec3* b)
{
    // Through a temporary, so that out may be a or b.
    const Vec3 product{a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x};
    *out = product;
}

// Divides each component in place by s.
inline Vec3* vec3Divide(Vec3* v, float s)
{
    v->x /= s;
    v->y /= s;
    v->z /= s;
    return v;
}

// Makes v unit length in place. A zero vector is not guarded against: the callers' never
// are.
inline Vec3* vec3Normalize(Vec3* v)
{
    return vec3Divide(v, std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z));
}
