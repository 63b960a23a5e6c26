#include "scene/ripple_surface.h"

#include <cmath>

namespace {

// Close to 1 / sqrt(2), not exactly it: the diagonal neighbours' coupling.
constexpr double diagonal = 0.707106781373095;

// The eight neighbours of a vertex in the order they are visited, with their weights.
struct Neighbour {
    int row;
    int column;
    bool diagonal;
};
constexpr Neighbour neighbours[] = {
    {0, -1, false}, {-1, 0, false}, {0, 1, false}, {1, 0, false},
    {1, 1, true},   {-1, -1, true}, {1, -1, true}, {-1, 1, true},
};

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

} // namespace

void RippleSurface::insideRowNormals(int i)
{
    // The same operations as edgeNormal's, on the row and the next one copied side by
    // side, so that they run over plain arrays several vertices at a time.
    float x[2][capacity];
    float y[2][capacity];
    float z[2][capacity];
    for (int r = 0; r < 2; ++r) {
        for (int j = 0; j < size; ++j) {
            x[r][j] = positions[i + r][j].x;
            y[r][j] = positions[i + r][j].y;
            z[r][j] = positions[i + r][j].z;
        }
    }
    float nx[capacity];
    float ny[capacity];
    float nz[capacity];
    const int last = size - 1;
    for (int j = 0; j < last; ++j) {
        // The edges toward the next column and the next row, their cross product, its length.
        const float ax = x[0][j + 1] - x[0][j];
        const float ay = y[0][j + 1] - y[0][j];
        const float az = z[0][j + 1] - z[0][j];
        const float bx = x[1][j] - x[0][j];
        const float by = y[1][j] - y[0][j];
        const float bz = z[1][j] - z[0][j];
        const float cx = ay * bz - az * by;
        const float cy = az * bx - ax * bz;
        const float cz = ax * by - ay * bx;
        const float length = std::sqrt(cx * cx + cy * cy + cz * cz);
        nx[j] = cx / length;
        ny[j] = cy / length;
        nz[j] = cz / length;
    }
    for (int j = 0; j < last; ++j) {
        normals[i][j] = Vec3{nx[j], ny[j], nz[j]};
    }
}

void RippleSurface::computeNormals()
{
    // Each normal is the unit cross product of two edges from its vertex, ordered so that
    // it points up: the product's y is the product of the grid spacings, never zero.
    // Inside, the edges run toward the next column and the next row.
    const int last = size - 1;
    for (int i = 0; i < last; ++i) {
        insideRowNormals(i);
    }
    // The last row and column look back, toward the previous column and row...
    for (int i = 1; i < last; ++i) {
        normals[i][last] = edgeNormal(&positions[i][last], &positions[i][last - 1], &positions[i - 1][last]);
    }
    for (int j = 1; j <= last; ++j) {
        normals[last][j] = edgeNormal(&positions[last][j], &positions[last][j - 1], &positions[last - 1][j]);
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

// The force on (i, j) when it and all eight neighbours are centres: first the terms
// that the four centres before it give, then its own eight taken in the neighbours'
// order, then the terms of the four centres after it.
inline float gatheredForce(const float (*heights)[RippleSurface::capacity], int i, int j)
{
    const float* above = heights[i - 1];
    const float* row = heights[i];
    const float* below = heights[i + 1];
    const float h = row[j];
    float sum = 0.0f;
    sum = addDiagonal(sum, above[j - 1] - h);
    sum = addOrthogonal(sum, above[j] - h);
    sum = addDiagonal(sum, above[j + 1] - h);
    sum = addOrthogonal(sum, row[j - 1] - h);
    sum = addOrthogonal(sum, -(h - row[j - 1]));
    sum = addOrthogonal(sum, -(h - above[j]));
    sum = addOrthogonal(sum, -(h - row[j + 1]));
    sum = addOrthogonal(sum, -(h - below[j]));
    sum = addDiagonal(sum, -(h - below[j + 1]));
    sum = addDiagonal(sum, -(h - above[j - 1]));
    sum = addDiagonal(sum, -(h - below[j - 1]));
    sum = addDiagonal(sum, -(h - above[j + 1]));
    sum = addOrthogonal(sum, row[j + 1] - h);
    sum = addDiagonal(sum, below[j - 1] - h);
    sum = addOrthogonal(sum, below[j] - h);
    sum = addDiagonal(sum, below[j + 1] - h);
    return sum;
}

} // namespace

// The same sum where some of the nine centres are missing, on and next to the border.
float RippleSurface::gatheredForceNearBorder(int i, int j) const
{
    const int inner = size - 2;
    const auto isCentre = [inner](int row, int column) {
        return row >= 1 && row <= inner && column >= 1 && column <= inner;
    };
    const float h = positions[i][j].y;
    float sum = 0.0f;
    // A term from the centre at (i + di, j + dj), which sees this vertex as a neighbour.
    const auto received = [&](int di, int dj, bool isDiagonal) {
        if (isCentre(i + di, j + dj)) {
            const float difference = positions[i + di][j + dj].y - h;
            sum = isDiagonal ? addDiagonal(sum, difference) : addOrthogonal(sum, difference);
        }
    };
    received(-1, -1, true);
    received(-1, 0, false);
    received(-1, 1, true);
    received(0, -1, false);
    if (isCentre(i, j)) {
        for (const Neighbour& n : neighbours) {
            const float difference = -(h - positions[i + n.row][j + n.column].y);
            sum = n.diagonal ? addDiagonal(sum, difference) : addOrthogonal(sum, difference);
        }
    }
    received(0, 1, false);
    received(1, -1, true);
    received(1, 0, false);
    received(1, 1, true);
    return sum;
}

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
    // write to each other's forces.
    // The heights side by side, so that the band's sums run over plain rows.
    float heights[capacity][capacity];
    for (int i = 0; i < size; ++i) {
        for (int j = 0; j < size; ++j) {
            heights[i][j] = positions[i][j].y;
        }
    }
    for (int i = 0; i < size; ++i) {
        // Two vertices or more away from the border every term is present, and the sums
        // run without tests.
        if (i < 2 || i + 2 >= size) {
            for (int j = 0; j < size; ++j) {
                force[i][j] = gatheredForceNearBorder(i, j);
            }
            continue;
        }
        const int lastInBand = size - 3;
        for (int j = 0; j < 2; ++j) {
            force[i][j] = gatheredForceNearBorder(i, j);
        }
        for (int j = 2; j <= lastInBand; ++j) {
            force[i][j] = gatheredForce(heights, i, j);
        }
        for (int j = lastInBand + 1; j < size; ++j) {
            force[i][j] = gatheredForceNearBorder(i, j);
        }
    }

    // The damping acts on the heights, not the velocities: every height shrinks by 1 / N
    // per step, so the whole surface relaxes toward height 0.
    for (int i = 0; i < size; ++i) {
        for (int j = 0; j < size; ++j) {
            velocity[i][j] = static_cast<float>(velocity[i][j] + 0.02 * force[i][j]);
            const float s = positions[i][j].y + velocity[i][j];
            positions[i][j].y = s - s / static_cast<float>(size);
        }
    }
}
