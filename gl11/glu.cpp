// The GLU calls the show makes, built on the layer's own GL calls, so that a display
// list compiles them as it would GLU's.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "gl11/state.h"

namespace gl11 {

struct GLUquadric {
    bool textureCoords = false;
};

namespace {

constexpr double pi = 3.14159265358979323846;

bool powerOfTwo(GLint n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

// The next level down: each texel the rounded mean of the two or four it covers.
std::vector<std::uint8_t> halve(const std::vector<std::uint8_t>& texels, GLint width, GLint height, int components)
{
    const GLint nextWidth = width > 1 ? width / 2 : 1;
    const GLint nextHeight = height > 1 ? height / 2 : 1;
    const int dx = width > 1 ? 1 : 0;
    const int dy = height > 1 ? 1 : 0;
    std::vector<std::uint8_t> next(static_cast<std::size_t>(nextWidth) * nextHeight * components);
    for (GLint y = 0; y < nextHeight; ++y) {
        for (GLint x = 0; x < nextWidth; ++x) {
            for (int c = 0; c < components; ++c) {
                auto at = [&](GLint sx, GLint sy) {
                    return static_cast<int>(texels[(static_cast<std::size_t>(sy) * width + sx) * components + c]);
                };
                const GLint x0 = x * (dx + 1);
                const GLint y0 = y * (dy + 1);
                // With a side of 1 the same two texels are added twice.
                const int sum = at(x0, y0) + at(x0 + dx, y0) + at(x0, y0 + dy) + at(x0 + dx, y0 + dy);
                next[(static_cast<std::size_t>(y) * nextWidth + x) * components + c] =
                    static_cast<std::uint8_t>((sum + 2) / 4);
            }
        }
    }
    return next;
}

} // namespace

GLUquadric* gluNewQuadric()
{
    return new GLUquadric;
}

void gluDeleteQuadric(GLUquadric* quadric)
{
    delete quadric;
}

void gluQuadricTexture(GLUquadric* quadric, GLboolean textureCoords)
{
    quadric->textureCoords = textureCoords != GL_FALSE;
}

// Stacks from the +z pole down, each a quad strip around the z axis; the slices start at
// +y and turn toward +x. Normals point outward. With texture coordinates, t runs from 1 at
// +z to 0 at -z and s from 1 at +y, through 0.75 at +x, to 0 back at +y: the order and
// coordinates of the desktop's GLU, as its feedback shows them.
void gluSphere(GLUquadric* quadric, GLdouble radius, GLint slices, GLint stacks)
{
    if (slices < 2 || stacks < 1 || radius < 0.0) {
        reject(GL_INVALID_VALUE, "gluSphere", "fewer than 2 slices or 1 stack, or a negative radius");
        return;
    }
    for (GLint i = 0; i < stacks; ++i) {
        glBegin(GL_QUAD_STRIP);
        for (GLint j = 0; j <= slices; ++j) {
            const double theta = j == slices ? 0.0 : 2.0 * pi * j / slices;
            for (GLint ring : {i + 1, i}) {
                const double phi = pi * ring / stacks;
                const auto x = static_cast<GLfloat>(std::sin(theta) * std::sin(phi));
                const auto y = static_cast<GLfloat>(std::cos(theta) * std::sin(phi));
                const auto z = static_cast<GLfloat>(std::cos(phi));
                glNormal3f(x, y, z);
                if (quadric->textureCoords) {
                    glTexCoord2f(static_cast<GLfloat>(1.0 - static_cast<double>(j) / slices),
                                 static_cast<GLfloat>(1.0 - static_cast<double>(ring) / stacks));
                }
                glVertex3f(static_cast<GLfloat>(x * radius), static_cast<GLfloat>(y * radius),
                           static_cast<GLfloat>(z * radius));
            }
        }
        glEnd();
    }
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    const double f = 1.0 / std::tan(fovy * pi / 360.0);
    const double depth = zNear - zFar;
    if (aspect == 0.0 || depth == 0.0 || !std::isfinite(f)) {
        reject(GL_INVALID_VALUE, "gluPerspective", "a degenerate frustum");
        return;
    }
    const double m[16] = {f / aspect, 0.0, 0.0, 0.0,
                          0.0, f, 0.0, 0.0,
                          0.0, 0.0, (zFar + zNear) / depth, -1.0,
                          0.0, 0.0, 2.0 * zFar * zNear / depth, 0.0};
    multiplyCurrentMatrix(Matrix::fromDoubles(m));
}

void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY, GLdouble centerZ,
               GLdouble upX, GLdouble upY, GLdouble upZ)
{
    auto normalised = [](double (&v)[3]) {
        const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (length != 0.0) {
            v[0] /= length;
            v[1] /= length;
            v[2] /= length;
        }
    };
    auto cross = [](const double (&a)[3], const double (&b)[3], double (&out)[3]) {
        out[0] = a[1] * b[2] - a[2] * b[1];
        out[1] = a[2] * b[0] - a[0] * b[2];
        out[2] = a[0] * b[1] - a[1] * b[0];
    };
    double forward[3] = {centerX - eyeX, centerY - eyeY, centerZ - eyeZ};
    double up[3] = {upX, upY, upZ};
    normalised(forward);
    // The side is made a unit vector too, so that an up that is not at right angles to
    // the view does not scale the picture.
    double side[3];
    cross(forward, up, side);
    normalised(side);
    double trueUp[3];
    cross(side, forward, trueUp);
    const double m[16] = {side[0], trueUp[0], -forward[0], 0.0,
                          side[1], trueUp[1], -forward[1], 0.0,
                          side[2], trueUp[2], -forward[2], 0.0,
                          0.0, 0.0, 0.0, 1.0};
    multiplyCurrentMatrix(Matrix::fromDoubles(m));
    const double back[16] = {1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, -eyeX, -eyeY, -eyeZ, 1.0};
    multiplyCurrentMatrix(Matrix::fromDoubles(back));
}

GLint gluBuild2DMipmaps(GLenum target, GLint components, GLint width, GLint height, GLenum format, GLenum type,
                        const void* data)
{
    const char* call = "gluBuild2DMipmaps";
    const int channels = components == 3 || components == static_cast<GLint>(GL_RGB)    ? 3
                         : components == 4 || components == static_cast<GLint>(GL_RGBA) ? 4
                                                                                         : 0;
    if (target != GL_TEXTURE_2D || channels == 0 || (format != GL_RGBA && format != GL_RGB) ||
        type != GL_UNSIGNED_BYTE) {
        rejectValue(call, "target, components, format or type", format);
        return GL_INVALID_ENUM;
    }
    // GLU scales other sizes to powers of two first; the layer does not.
    if (!powerOfTwo(width) || !powerOfTwo(height)) {
        reject(GL_INVALID_VALUE, call, "a size that is not a power of two");
        return GL_INVALID_VALUE;
    }
    // The picture as the levels are made from it: `channels` bytes a texel, rows packed.
    const int sourceBytes = format == GL_RGBA ? 4 : 3;
    const std::size_t sourceRow = (static_cast<std::size_t>(width) * sourceBytes + 3) / 4 * 4;
    std::vector<std::uint8_t> level(static_cast<std::size_t>(width) * height * channels);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (GLint y = 0; y < height; ++y) {
        for (GLint x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                level[(static_cast<std::size_t>(y) * width + x) * channels + c] =
                    c < sourceBytes ? bytes[sourceRow * y + static_cast<std::size_t>(x) * sourceBytes + c] : 255;
            }
        }
    }
    const GLenum levelFormat = channels == 4 ? GL_RGBA : GL_RGB;
    for (GLint n = 0;; ++n) {
        // Rows of 3 bytes need not fill multiples of 4: glTexImage2D reads them so.
        std::vector<std::uint8_t> aligned;
        const std::size_t packedRow = static_cast<std::size_t>(width) * channels;
        const std::size_t alignedRow = (packedRow + 3) / 4 * 4;
        aligned.resize(alignedRow * height);
        for (GLint y = 0; y < height; ++y) {
            std::copy(level.begin() + static_cast<std::ptrdiff_t>(packedRow * y),
                      level.begin() + static_cast<std::ptrdiff_t>(packedRow * (y + 1)),
                      aligned.begin() + static_cast<std::ptrdiff_t>(alignedRow * y));
        }
        glTexImage2D(GL_TEXTURE_2D, n, channels, width, height, 0, levelFormat, GL_UNSIGNED_BYTE, aligned.data());
        if (width == 1 && height == 1) {
            break;
        }
        level = halve(level, width, height, channels);
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
    }
    return 0;
}

} // namespace gl11
