#pragma once

namespace gl11 {

struct Vec4 {
    float x, y, z, w;
};

// A 4 x 4 matrix of floats in GL's order: column by column, m[4 * column + row].
struct Matrix {
    float m[16];

    static Matrix identity();
    // From a matrix computed in double precision, as GL takes glMultMatrixd's.
    static Matrix fromDoubles(const double (&values)[16]);
    static Matrix translation(float x, float y, float z);
    static Matrix scaling(float x, float y, float z);

    bool isIdentity() const;
    Vec4 transform(const Vec4& v) const;
};

// a x b: b applied first, as GL's matrix calls multiply the current matrix on the right.
Matrix operator*(const Matrix& a, const Matrix& b);

// The inverse transpose of the upper-left 3 x 3, which takes normals into eye space, as
// rows of three; a singular matrix gives zeros.
struct NormalMatrix {
    float row[3][3];
    static NormalMatrix of(const Matrix& modelView);
};

} // namespace gl11
