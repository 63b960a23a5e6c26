#include "scene/camera.h"

#include <cmath>

#include "platform/gl.h"

// Only frustumEnabled is set: the single instance lives in zero-initialised static
// storage and the scene set-up writes the remaining values before the first frame.
Camera::Camera() : frustumEnabled(true) {}

Camera::~Camera() = default;

void Camera::apply()
{
    // Straight above or below the target the line of sight runs along the world's up,
    // which then gives no sideways direction; there the far side of the scene, -z, is
    // taken as up on the screen, as the set-up view shows it.
    const bool vertical = eye.x == target.x && eye.z == target.z;
    gluLookAt(eye.x, eye.y, eye.z, target.x, target.y, target.z, 0.0, vertical ? 0.0 : 1.0,
              vertical ? -1.0 : 0.0);
    if (frustumEnabled) {
        updateFrustum();
    }
}

void Camera::updateFrustum()
{
    float p[16];
    float m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    glGetFloatv(GL_MODELVIEW_MATRIX, m);

    // q = p × m in column-major order, so that q maps world coordinates to clip space.
    float q[16];
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            q[4 * column + row] = p[row] * m[4 * column] + p[4 + row] * m[4 * column + 1] +
                                  p[8 + row] * m[4 * column + 2] + p[12 + row] * m[4 * column + 3];
        }
    }

    // A point is inside when -w <= x, y, z <= w in clip space; each plane is row 3 of q
    // plus or minus one of the other rows.
    struct Combination {
        int row;
        float sign;
    };
    static const Combination combinations[6] = {
        {0, -1.0f}, {0, 1.0f}, {1, 1.0f}, {1, -1.0f}, {2, -1.0f}, {2, 1.0f},
    };
    for (int slot = 0; slot < 6; ++slot) {
        const int row = combinations[slot].row;
        const float sign = combinations[slot].sign;
        const float a = q[3] + sign * q[row];
        const float b = q[7] + sign * q[4 + row];
        const float c = q[11] + sign * q[8 + row];
        const float d = q[15] + sign * q[12 + row];
        const float length = std::sqrt(a * a + b * b + c * c);
        planes[slot] = Plane{a / length, b / length, c / length, d / length};
    }
}
