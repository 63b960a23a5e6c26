#include "scene/ripple_surface.h"

#include <cmath>

namespace {

// Close to 1 / sqrt(2), not exactly it: the diagonal neighbours' coupling.
constexpr double diagonal = 0.707106781373095;

} // namespace

RippleSurface::~RippleSurface() = default;

void RippleSurface::setup(int newSize, float newSplashHeight)
{
    // The arrays hold 100 x 100, and the border's normals need two rows and columns.
    size = newSize < 2 ? 2 : (newSize > capacity ? capacity : newSize);
    splashHeight = newSplashHeight;
    reset();
}

void RippleSurface::clearNormals()
{
    for (auto& row : normals) {
        for (Vec3& normal : row) {
            normal = Vec3{0.0f, 0.0f, 0.0f};
        }
    }
}

void RippleSurface::reset()
{
    for (int i = 0; i < size; ++i) {
        for (int j = 0; j < size; ++j) {
            positions[i][j] = Vec3{static_cast<float>(i) / static_cast<float>(size) * 50.0f, -20.0f,
                                   static_cast<float>(j) / static_cast<float>(size) * 50.0f};
            force[i][j] = 0.0f;
            velocity[i][j] = 0.0f;
        }
    }
}

void RippleSurface::draw(GLuint texture)
{
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_LIGHTING);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    // Every texture coordinate comes from the normals: the strips give none.
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);

    // 1.8 times as large along x and in height; z stays as it is.
    glPushMatrix();
    glScalef(1.8f, 1.8f, 1.0f);

    // Added by colour onto the frame. The sphere's draw, which follows in every frame,
    // sets the show's usual blend function back.
    glBlendFunc(GL_SRC_COLOR, GL_ONE);
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glColor4f(0.9f, 0.9f, 0.9f, 0.9f);

    for (int j = 0; j + 1 < size; ++j) {
        glBegin(GL_TRIANGLE_STRIP);
        for (int i = 0; i < size; ++i) {
            glNormal3f(normals[i][j].x, normals[i][j].y, normals[i][j].z);
            glVertex3f(positions[i][j].x, positions[i][j].y, positions[i][j].z);
            glNormal3f(normals[i][j + 1].x, normals[i][j + 1].y, normals[i][j + 1].z);
            glVertex3f(positions[i][j + 1].x, positions[i][j + 1].y, positions[i][j + 1].z);
        }
        glEnd();
    }
    glPopMatrix();

    // After the strips: the normals drawn in a frame are those of the frame before.
    computeNormals();
    step();
}

void RippleSurface::splash()
{
    positions[13][25].y = splashHeight;
    positions[13][26].y = splashHeight;
    positions[14][25].y = splashHeight;
    positions[14][26].y = splashHeight;
}

namespace {

// The unit cross product of the edges from p to `first` and to `second`.
Vec3 edgeNormal(const Vec3* p, const Vec3* first, const Vec3* second)
{
    Vec3 a;
    Vec3 b;
    Vec3 n;
    vec3Subtract(&a, first, p);
    vec3Subtract(&b, second, p);
    vec3Cross(&n, &a, &b);
    vec3Normalize(&n);
    return n;
}

// A row of positions side by side, one array per coordinate.
struct RowCopy {
    float x[RippleSurface::capacity];
    float y[RippleSurface::capacity];
    float z[RippleSurface::capacity];
};

void copyRow(RowCopy& copy, const Vec3* row, int size)
{
    for (int j = 0; j < size; ++j) {
        copy.x[j] = row[j].x;
        copy.y[j] = row[j].y;
        copy.z[j] = row[j].z;
    }
}

// edgeNormal's operations for the vertices first to last of `row`, with the edges toward
// the vertex `offset` columns along and toward the one in the same column of `other`:
// over plain arrays, so that they run several vertices at a time.
void rowNormals(Vec3* normals, const RowCopy& row, int offset, const RowCopy& other, int first, int last)
{
    float nx[RippleSurface::capacity];
    float ny[RippleSurface::capacity];
    float nz[RippleSurface::capacity];
    for (int j = first; j <= last; ++j) {
        const float ax = row.x[j + offset] - row.x[j];
        const float ay = row.y[j + offset] - row.y[j];
        const float az = row.z[j + offset] - row.z[j];
        const float bx = other.x[j] - row.x[j];
        const float by = other.y[j] - row.y[j];
        const float bz = other.z[j] - row.z[j];
        const float cx = ay * bz - az * by;
        const float cy = az * bx - ax * bz;
        const float cz = ax * by - ay * bx;
        const float length = std::sqrt(cx * cx + cy * cy + cz * cz);
        nx[j] = cx / length;
        ny[j] = cy / length;
        nz[j] = cz / length;
    }
    for (int j = first; j <= last; ++j) {
        normals[j] = Vec3{nx[j], ny[j], nz[j]};
    }
}

} // namespace

void RippleSurface::computeNormals()
{
    // Each normal is the unit cross product of two edges from its vertex, ordered so that
    // it points up: the product's y is the product of the grid spacings, never zero.
    // Inside, the edges run toward the next column and the next row. Each row is copied
    // once, to serve first as the next row and then as the row.
    const int last = size - 1;
    RowCopy rows[2];
    copyRow(rows[0], positions[0], size);
    for (int i = 0; i < last; ++i) {
        copyRow(rows[(i + 1) % 2], positions[i + 1], size);
        rowNormals(normals[i], rows[i % 2], 1, rows[(i + 1) % 2], 0, last - 1);
    }
    // The last row and column look back, toward the previous column and row...
    rowNormals(normals[last], rows[last % 2], -1, rows[(last - 1) % 2], 1, last);
    for (int i = 1; i < last; ++i) {
        normals[i][last] = edgeNormal(&positions[i][last], &positions[i][last - 1], &positions[i - 1][last]);
    }
    // ...except at two corners that have no previous row or column. In the first row the
    // second edge points along +x, so the product points down and is turned over once
    // normalised.
    const Vec3 n = edgeNormal(&positions[0][last], &positions[0][last - 1], &positions[1][last]);
    normals[0][last] = Vec3{-n.x, -n.y, -n.z};
    normals[last][0] = edgeNormal(&positions[last][0], &positions[last - 1][0], &positions[last][1]);
}

namespace {

// One term of a force sum: the orthogonal neighbours' in single precision, the
// diagonal ones' through the double constant, rounded back to single.
inline float addOrthogonal(float sum, float difference)
{
    return sum + difference;
}

inline float addDiagonal(float sum, float difference)
{
    return static_cast<float>(sum + diagonal * difference);
}

// One term for the vertices first to last of a row: the one each receives from the
// centre `offset` columns from it in the row `centres`, that centre's height less its own.
template <bool isDiagonal>
void addReceived(float* sums, const float* heights, const float* centres, int offset, int first, int last)
{
    for (int j = first; j <= last; ++j) {
        const float difference = centres[j + offset] - heights[j];
        if constexpr (isDiagonal) {
            sums[j] = addDiagonal(sums[j], difference);
        } else {
            sums[j] = addOrthogonal(sums[j], difference);
        }
    }
}

// One of the centres' own terms for the vertices first to last of a row: what each takes
// from itself for its neighbour `offset` columns from it in the row `neighbours`.
template <bool isDiagonal>
void addOwn(float* sums, const float* heights, const float* neighbours, int offset, int first, int last)
{
    for (int j = first; j <= last; ++j) {
        const float difference = -(heights[j] - neighbours[j + offset]);
        if constexpr (isDiagonal) {
            sums[j] = addDiagonal(sums[j], difference);
        } else {
            sums[j] = addOrthogonal(sums[j], difference);
        }
    }
}

} // namespace

void RippleSurface::step()
{
    // Each inner vertex (rows and columns 1 to N - 2) is a centre: for each of its eight
    // neighbours in turn, d = w (h(centre) - h(neighbour)) is taken from the centre's
    // force and given to the neighbour's. The heights stay as they are during the pass,
    // so a pair of inner vertices is coupled twice, once from each side; the border
    // vertices are never centres, but they receive force and move freely.
    //
    // Rather than scattering each d as the centres are visited, every vertex gathers its
    // own terms, in the order the visits would bring them: from the centres before it in
    // row order, then its own eight, then from the centres after it. Each force is thus
    // summed in the same order, with the same roundings, and the vertices no longer
    // write to each other's forces. A row's sums take one term at a time across the row,
    // so that several vertices are summed side by side, each still in that order. Each
    // term runs only over the columns where the vertex it comes from is a centre, so
    // that the loops hold no tests.
    const int n = size;
    const int inner = n - 2;
    // The heights side by side, so that the sums run over plain rows.
    float heights[capacity][capacity];
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            heights[i][j] = positions[i][j].y;
        }
    }
    for (int i = 0; i < n; ++i) {
        const float* row = heights[i];
        float sums[capacity];
        for (int j = 0; j < n; ++j) {
            sums[j] = 0.0f;
        }
        // From the centres (i - 1, j - 1), (i - 1, j) and (i - 1, j + 1).
        if (i >= 2) {
            const float* above = heights[i - 1];
            addReceived<true>(sums, row, above, -1, 2, n - 1);
            addReceived<false>(sums, row, above, 0, 1, inner);
            addReceived<true>(sums, row, above, 1, 0, n - 3);
        }
        // From (i, j - 1), then the vertex's own eight, then from (i, j + 1).
        if (i >= 1 && i <= inner) {
            const float* above = heights[i - 1];
            const float* below = heights[i + 1];
            addReceived<false>(sums, row, row, -1, 2, n - 1);
            addOwn<false>(sums, row, row, -1, 1, inner);
            addOwn<false>(sums, row, above, 0, 1, inner);
            addOwn<false>(sums, row, row, 1, 1, inner);
            addOwn<false>(sums, row, below, 0, 1, inner);
            addOwn<true>(sums, row, below, 1, 1, inner);
            addOwn<true>(sums, row, above, -1, 1, inner);
            addOwn<true>(sums, row, below, -1, 1, inner);
            addOwn<true>(sums, row, above, 1, 1, inner);
            addReceived<false>(sums, row, row, 1, 0, n - 3);
        }
        // From (i + 1, j - 1), (i + 1, j) and (i + 1, j + 1).
        if (i + 1 <= inner) {
            const float* below = heights[i + 1];
            addReceived<true>(sums, row, below, -1, 2, n - 1);
            addReceived<false>(sums, row, below, 0, 1, inner);
            addReceived<true>(sums, row, below, 1, 0, n - 3);
        }
        for (int j = 0; j < n; ++j) {
            force[i][j] = sums[j];
        }
    }

    // The damping acts on the heights, not the velocities: every height shrinks by 1 / N
    // per step, so the whole surface relaxes toward height 0. A row's new heights go to
    // an array of their own first, so that this loop too runs over plain arrays.
    const float side = static_cast<float>(n);
    for (int i = 0; i < n; ++i) {
        float next[capacity];
        for (int j = 0; j < n; ++j) {
            velocity[i][j] = static_cast<float>(velocity[i][j] + 0.02 * force[i][j]);
            const float s = heights[i][j] + velocity[i][j];
            next[j] = s - s / side;
        }
        for (int j = 0; j < n; ++j) {
            positions[i][j].y = next[j];
        }
    }
}
