// Primitives as ES draws them: every GL 1.1 primitive the layer takes becomes a list of
// triangles, so that one draw call can hold many primitives.
#include <cmath>

#include "gl11/state.h"

namespace gl11 {

namespace {

void triangle(std::vector<GpuVertex>& out, const GpuVertex& a, const GpuVertex& b, const GpuVertex& c)
{
    out.push_back(a);
    out.push_back(b);
    out.push_back(c);
}

// A point moved by (dx, dy) window pixels, in its own clip coordinates.
GpuVertex shifted(const GpuVertex& v, const GLint* viewport, float dx, float dy)
{
    GpuVertex moved = v;
    moved.clip[0] += dx * 2.0f / static_cast<float>(viewport[2]) * v.clip[3];
    moved.clip[1] += dy * 2.0f / static_cast<float>(viewport[3]) * v.clip[3];
    return moved;
}

// How far short of half a pixel a line's ends are moved back (see wideLine): less than
// the rasteriser's sub-pixel precision, so that a fragment centre exactly at an end
// falls the way the diamond rule has it.
constexpr float endBias = 1.0f / 64.0f;

// GL 1.1 rasterises a line of width w as the fragments of a one-pixel line, repeated w
// times across its minor axis: an x-major line (|dx| >= |dy| in window pixels) covers w
// pixels in each column it crosses, a y-major one w pixels in each row. The one-pixel
// line takes the pixels whose diamonds it leaves, which along the major axis are those
// whose centres lie within the segment moved back by half a pixel. Drawn here as that
// parallelogram: the segment moved back by half a pixel along the major axis and
// widened by w / 2 to each side along the minor one. Lines with an end behind the eye
// are not clipped first.
void wideLine(std::vector<GpuVertex>& out, const GpuVertex& a, const GpuVertex& b, const GLint* viewport, float width)
{
    if (a.clip[3] <= 0.0f || b.clip[3] <= 0.0f) {
        return;
    }
    const float halfWidth = viewport[2] / 2.0f;
    const float halfHeight = viewport[3] / 2.0f;
    const float dx = (b.clip[0] / b.clip[3] - a.clip[0] / a.clip[3]) * halfWidth;
    const float dy = (b.clip[1] / b.clip[3] - a.clip[1] / a.clip[3]) * halfHeight;
    if (dx == 0.0f && dy == 0.0f) {
        return;
    }
    const bool xMajor = std::fabs(dx) >= std::fabs(dy);
    const float back = 0.5f - endBias;
    // Along the major axis, the shift back; along the minor one, the half width.
    float alongX = 0.0f;
    float alongY = 0.0f;
    float acrossX = 0.0f;
    float acrossY = 0.0f;
    if (xMajor) {
        alongX = dx > 0.0f ? -back : back;
        acrossY = width / 2.0f;
    } else {
        alongY = dy > 0.0f ? -back : back;
        acrossX = width / 2.0f;
    }
    const GpuVertex a0 = shifted(a, viewport, alongX - acrossX, alongY - acrossY);
    const GpuVertex a1 = shifted(a, viewport, alongX + acrossX, alongY + acrossY);
    const GpuVertex b0 = shifted(b, viewport, alongX - acrossX, alongY - acrossY);
    const GpuVertex b1 = shifted(b, viewport, alongX + acrossX, alongY + acrossY);
    triangle(out, a0, b0, b1);
    triangle(out, a0, b1, a1);
}

} // namespace

void assembleTriangles(const State& s, GLenum mode, const GpuVertex* v, std::size_t count,
                       std::vector<GpuVertex>& out)
{
    switch (mode) {
    case GL_TRIANGLES:
        for (std::size_t i = 0; i + 2 < count; i += 3) {
            triangle(out, v[i], v[i + 1], v[i + 2]);
        }
        break;
    case GL_TRIANGLE_STRIP:
        // Every other triangle turned back, so that all keep the strip's winding.
        for (std::size_t i = 0; i + 2 < count; ++i) {
            if (i % 2 == 0) {
                triangle(out, v[i], v[i + 1], v[i + 2]);
            } else {
                triangle(out, v[i + 1], v[i], v[i + 2]);
            }
        }
        break;
    case GL_TRIANGLE_FAN:
    case GL_POLYGON:
        for (std::size_t i = 1; i + 1 < count; ++i) {
            triangle(out, v[0], v[i], v[i + 1]);
        }
        break;
    case GL_QUADS:
        // Split along the diagonal from each quad's first vertex, as the desktop
        // rasteriser splits them: the split shows where colours or texture
        // coordinates are interpolated across a quad that is not a parallelogram.
        for (std::size_t i = 0; i + 3 < count; i += 4) {
            triangle(out, v[i], v[i + 1], v[i + 2]);
            triangle(out, v[i], v[i + 2], v[i + 3]);
        }
        break;
    case GL_QUAD_STRIP:
        // Quad k is vertices 2k, 2k + 1, 2k + 3, 2k + 2 in order around it.
        for (std::size_t i = 0; i + 3 < count; i += 2) {
            triangle(out, v[i], v[i + 1], v[i + 3]);
            triangle(out, v[i], v[i + 3], v[i + 2]);
        }
        break;
    case GL_LINES:
        for (std::size_t i = 0; i + 1 < count; i += 2) {
            wideLine(out, v[i], v[i + 1], s.viewport, s.lineWidth);
        }
        break;
    default:
        break;
    }
}

} // namespace gl11
