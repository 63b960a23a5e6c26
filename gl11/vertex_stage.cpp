// The per-vertex half of GL 1.1's fixed function, on the CPU: the model-view and
// projection transforms, lighting with colour material, texture coordinate generation
// and the texture matrix. The GPU receives clip coordinates and finished colours, so
// that primitives drawn under different matrices still go to ES as one batch.
#include <algorithm>
#include <cmath>

#include "gl11/state.h"

namespace gl11 {

namespace {

// The scene's ambient light, GL 1.1's default: the layer has no glLightModel.
constexpr float sceneAmbient[3] = {0.2f, 0.2f, 0.2f};

float clamp01(float value)
{
    return std::min(1.0f, std::max(0.0f, value));
}

float dot3(const float* a, const float* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void normalise3(float* v)
{
    const float length = std::sqrt(dot3(v, v));
    if (length > 0.0f) {
        v[0] /= length;
        v[1] /= length;
        v[2] /= length;
    }
}

// The lit colour at a vertex at `eye` with the eye-space normal `n`. The materials'
// specular colour is black, so no light has a specular term; every light's attenuation
// is 1 and none is a spotlight.
Vec4 lightVertex(const State& s, const Vec4& eye, const float* n, const Vec4& colour)
{
    const Vec4& a = s.colourMaterial ? colour : s.materialAmbient;
    const Vec4& d = s.colourMaterial ? colour : s.materialDiffuse;
    const float ambient[3] = {a.x, a.y, a.z};
    const float diffuse[3] = {d.x, d.y, d.z};
    float lit[3];
    for (int c = 0; c < 3; ++c) {
        lit[c] = ambient[c] * sceneAmbient[c];
    }
    for (const Light& light : s.lights) {
        if (!light.enabled) {
            continue;
        }
        // Toward the light: its direction, or from the vertex to its position.
        float toLight[3];
        if (light.position.w == 0.0f) {
            toLight[0] = light.position.x;
            toLight[1] = light.position.y;
            toLight[2] = light.position.z;
        } else {
            const float vw = eye.w != 0.0f ? eye.w : 1.0f;
            toLight[0] = light.position.x / light.position.w - eye.x / vw;
            toLight[1] = light.position.y / light.position.w - eye.y / vw;
            toLight[2] = light.position.z / light.position.w - eye.z / vw;
        }
        normalise3(toLight);
        const float facing = std::max(0.0f, dot3(n, toLight));
        for (int c = 0; c < 3; ++c) {
            lit[c] += light.ambient[c] * ambient[c] + facing * light.diffuse[c] * diffuse[c];
        }
    }
    return Vec4{clamp01(lit[0]), clamp01(lit[1]), clamp01(lit[2]), clamp01(d.w)};
}

// One generated coordinate: s from the plane (1, 0, 0, 0), t from (0, 1, 0, 0), GL's
// default planes; or the sphere map's, from the reflection r of the eye's view.
float generate(TexGenMode mode, int coordinate, const Vec4& object, const Vec4& eye, const float* r, float m)
{
    switch (mode) {
    case TexGenMode::objectLinear:
        return coordinate == 0 ? object.x : object.y;
    case TexGenMode::eyeLinear:
        return coordinate == 0 ? eye.x : eye.y;
    case TexGenMode::sphereMap:
        return r[coordinate] / m + 0.5f;
    }
    return 0.0f;
}

} // namespace

void transformVertices(State& s, const VertexInput* in, std::size_t count, GpuVertex* out)
{
    const Matrix& modelView = s.modelView.back();
    if (s.matricesChanged) {
        s.modelViewProjection = s.projection.back() * modelView;
        s.normalMatrixStale = true;
        s.matricesChanged = false;
    }
    const bool generating = s.textureGen[0] || s.textureGen[1];
    const bool sphereMap = (s.textureGen[0] && s.textureGenMode[0] == TexGenMode::sphereMap) ||
                           (s.textureGen[1] && s.textureGenMode[1] == TexGenMode::sphereMap);
    const bool needsNormal = s.lighting || sphereMap;
    if (needsNormal && s.normalMatrixStale) {
        s.normalMatrix = NormalMatrix::of(modelView);
        s.normalMatrixStale = false;
    }
    const bool needsEye = needsNormal || generating;
    const Matrix& textureMatrix = s.texture.back();
    const bool textureTransformed = !textureMatrix.isIdentity();

    for (std::size_t i = 0; i < count; ++i) {
        const VertexInput& v = in[i];
        GpuVertex& o = out[i];
        const Vec4 clip = s.modelViewProjection.transform(v.position);
        o.clip[0] = clip.x;
        o.clip[1] = clip.y;
        o.clip[2] = clip.z;
        o.clip[3] = clip.w;

        const Vec4 eye = needsEye ? modelView.transform(v.position) : Vec4{0.0f, 0.0f, 0.0f, 1.0f};
        float n[3] = {0.0f, 0.0f, 0.0f};
        if (needsNormal) {
            for (int r = 0; r < 3; ++r) {
                n[r] = dot3(s.normalMatrix.row[r], v.normal);
            }
            if (s.normalize) {
                normalise3(n);
            }
        }

        const Vec4 colour = s.lighting ? lightVertex(s, eye, n, v.colour)
                                       : Vec4{clamp01(v.colour.x), clamp01(v.colour.y), clamp01(v.colour.z),
                                              clamp01(v.colour.w)};
        o.colour[0] = colour.x;
        o.colour[1] = colour.y;
        o.colour[2] = colour.z;
        o.colour[3] = colour.w;

        Vec4 tex = v.texCoord;
        if (generating) {
            // The sphere map reflects the unit vector from the eye to the vertex about
            // the normal: r = u - 2 n (n . u), m = 2 |r + (0, 0, 1)|.
            float r[3] = {0.0f, 0.0f, 0.0f};
            float m = 1.0f;
            if (sphereMap) {
                float u[3] = {eye.x, eye.y, eye.z};
                normalise3(u);
                const float nu = dot3(n, u);
                for (int c = 0; c < 3; ++c) {
                    r[c] = u[c] - 2.0f * n[c] * nu;
                }
                m = 2.0f * std::sqrt(r[0] * r[0] + r[1] * r[1] + (r[2] + 1.0f) * (r[2] + 1.0f));
            }
            if (s.textureGen[0]) {
                tex.x = generate(s.textureGenMode[0], 0, v.position, eye, r, m);
            }
            if (s.textureGen[1]) {
                tex.y = generate(s.textureGenMode[1], 1, v.position, eye, r, m);
            }
        }
        if (textureTransformed) {
            tex = textureMatrix.transform(tex);
        }
        o.texCoord[0] = tex.x;
        o.texCoord[1] = tex.y;
        o.texCoord[2] = tex.w;
    }
}

} // namespace gl11
