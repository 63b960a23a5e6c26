#include "gl11/matrix.h"

namespace gl11 {

Matrix Matrix::identity()
{
    return Matrix{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
}

Matrix Matrix::fromDoubles(const double (&values)[16])
{
    Matrix result;
    for (int i = 0; i < 16; ++i) {
        result.m[i] = static_cast<float>(values[i]);
    }
    return result;
}

Matrix Matrix::translation(float x, float y, float z)
{
    Matrix result = identity();
    result.m[12] = x;
    result.m[13] = y;
    result.m[14] = z;
    return result;
}

Matrix Matrix::scaling(float x, float y, float z)
{
    Matrix result = identity();
    result.m[0] = x;
    result.m[5] = y;
    result.m[10] = z;
    return result;
}

bool Matrix::isIdentity() const
{
    const Matrix one = identity();
    for (int i = 0; i < 16; ++i) {
        if (m[i] != one.m[i]) {
            return false;
        }
    }
    return true;
}

Vec4 Matrix::transform(const Vec4& v) const
{
    return Vec4{m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12] * v.w,
                m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13] * v.w,
                m[2] * v.x + m[6] * v.y + m[10] * v.z + m[14] * v.w,
                m[3] * v.x + m[7] * v.y + m[11] * v.z + m[15] * v.w};
}

Matrix operator*(const Matrix& a, const Matrix& b)
{
    Matrix result;
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            result.m[4 * column + row] = a.m[row] * b.m[4 * column] + a.m[4 + row] * b.m[4 * column + 1] +
                                         a.m[8 + row] * b.m[4 * column + 2] + a.m[12 + row] * b.m[4 * column + 3];
        }
    }
    return result;
}

NormalMatrix NormalMatrix::of(const Matrix& modelView)
{
    // a[r][c] is the upper-left 3 x 3. The inverse's transpose is the cofactor matrix
    // over the determinant.
    double a[3][3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            a[r][c] = modelView.m[4 * c + r];
        }
    }
    double cofactor[3][3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const int r1 = (r + 1) % 3;
            const int r2 = (r + 2) % 3;
            const int c1 = (c + 1) % 3;
            const int c2 = (c + 2) % 3;
            cofactor[r][c] = a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1];
        }
    }
    const double determinant = a[0][0] * cofactor[0][0] + a[0][1] * cofactor[0][1] + a[0][2] * cofactor[0][2];
    NormalMatrix result{};
    if (determinant == 0.0) {
        return result;
    }
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            result.row[r][c] = static_cast<float>(cofactor[r][c] / determinant);
        }
    }
    return result;
}

} // namespace gl11
