#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "platform/offscreen_context.h"
#include "scene/ripple_surface.h"
#include "tests/host/gl_recorder.h"

namespace {

// Zeroed, as the program's static instance is; too large for the stack.
std::unique_ptr<RippleSurface> makeSurface(int size = 50)
{
    auto surface = std::make_unique<RippleSurface>();
    surface->setup(size, 2.0f);
    return surface;
}

// Every height set to `height`, at rest.
void flatten(RippleSurface& surface, float height)
{
    for (int i = 0; i < surface.size; ++i) {
        for (int j = 0; j < surface.size; ++j) {
            surface.positions[i][j].y = height;
        }
    }
}

double velocitySum(const RippleSurface& surface)
{
    double sum = 0.0;
    for (int i = 0; i < surface.size; ++i) {
        for (int j = 0; j < surface.size; ++j) {
            sum += surface.velocity[i][j];
        }
    }
    return sum;
}

TEST(RippleSurface, SetupLaysTheGridOutFlatAtRest)
{
    auto surface = makeSurface();
    EXPECT_EQ(surface->size, 50);
    EXPECT_EQ(surface->splashHeight, 2.0f);
    const struct {
        int i, j;
        float x, z;
    } corners[] = {{0, 0, 0, 0}, {49, 49, 49, 49}, {13, 25, 13, 25}, {49, 0, 49, 0}};
    for (const auto& c : corners) {
        EXPECT_NEAR(surface->positions[c.i][c.j].x, c.x, 1e-4) << c.i << "," << c.j;
        EXPECT_EQ(surface->positions[c.i][c.j].y, -20.0f);
        EXPECT_NEAR(surface->positions[c.i][c.j].z, c.z, 1e-4) << c.i << "," << c.j;
    }
    for (int i = 0; i < 50; ++i) {
        for (int j = 0; j < 50; ++j) {
            ASSERT_EQ(surface->force[i][j], 0.0f);
            ASSERT_EQ(surface->velocity[i][j], 0.0f);
            ASSERT_EQ(surface->normals[i][j].y, 0.0f) << "normals wait for the first draw";
        }
    }

    // Other sides spread the same 50 units; a side beyond the storage is held to it, and
    // one too small for the border's normals is raised to 2.
    auto fine = makeSurface(100);
    EXPECT_NEAR(fine->positions[99][50].x, 49.5f, 1e-4);
    EXPECT_NEAR(fine->positions[99][50].z, 25.0f, 1e-4);
    EXPECT_EQ(makeSurface(250)->size, RippleSurface::capacity);
    EXPECT_EQ(makeSurface(1)->size, 2);
    EXPECT_EQ(makeSurface(-7)->size, 2);
}

// A flat grid has no force: a step only damps the heights, and every normal points up,
// the two corners with their own edges included.
TEST(RippleSurface, AFlatGridOnlySinksTowardZero)
{
    auto surface = makeSurface();
    surface->computeNormals();
    surface->step();
    for (int i = 0; i < 50; ++i) {
        for (int j = 0; j < 50; ++j) {
            ASSERT_FLOAT_EQ(surface->positions[i][j].y, -19.6f) << i << "," << j;
            ASSERT_EQ(surface->force[i][j], 0.0f);
            ASSERT_EQ(surface->velocity[i][j], 0.0f);
            const Vec3& n = surface->normals[i][j];
            ASSERT_EQ(n.x, 0.0f);
            ASSERT_FLOAT_EQ(n.y, 1.0f) << i << "," << j;
            ASSERT_EQ(n.z, 0.0f);
        }
    }
    for (int steps = 1; steps < 100; ++steps) {
        surface->step();
    }
    EXPECT_NEAR(surface->positions[20][20].y, -20.0 * std::pow(0.98, 100), 1e-3);
}

// The splash's figures after one step, worked out by hand: the square loses to its
// outside neighbours, coupled once from the square and once from each of them.
TEST(RippleSurface, ASplashSpreadsToItsNeighboursInOneStep)
{
    auto surface = makeSurface();
    flatten(*surface, 0.0f);
    surface->splash();
    const int square[][2] = {{13, 25}, {13, 26}, {14, 25}, {14, 26}};
    for (const auto& v : square) {
        EXPECT_EQ(surface->positions[v[0]][v[1]].y, 2.0f);
    }
    EXPECT_EQ(surface->positions[12][25].y, 0.0f);
    surface->step();

    for (const auto& v : square) {
        EXPECT_NEAR(surface->force[v[0]][v[1]], -16.4853, 1e-4);
        EXPECT_NEAR(surface->velocity[v[0]][v[1]], -0.3297, 1e-4);
        EXPECT_NEAR(surface->positions[v[0]][v[1]].y, 1.6369, 1e-4);
    }
    const int orthogonal[][2] = {{13, 24}, {14, 24}, {13, 27}, {14, 27}, {12, 25}, {12, 26}, {15, 25}, {15, 26}};
    for (const auto& v : orthogonal) {
        EXPECT_NEAR(surface->force[v[0]][v[1]], 6.8284, 1e-4) << v[0] << "," << v[1];
        EXPECT_NEAR(surface->velocity[v[0]][v[1]], 0.1366, 1e-4);
        EXPECT_NEAR(surface->positions[v[0]][v[1]].y, 0.1338, 1e-4);
    }
    const int diagonal[][2] = {{12, 24}, {12, 27}, {15, 24}, {15, 27}};
    for (const auto& v : diagonal) {
        EXPECT_NEAR(surface->force[v[0]][v[1]], 2.8284, 1e-4) << v[0] << "," << v[1];
        EXPECT_NEAR(surface->positions[v[0]][v[1]].y, 0.0554, 1e-4);
    }
    const int farther[][2] = {{13, 23}, {11, 25}, {16, 26}, {14, 28}, {11, 23}};
    for (const auto& v : farther) {
        EXPECT_EQ(surface->positions[v[0]][v[1]].y, 0.0f) << v[0] << "," << v[1];
    }
    EXPECT_NEAR(velocitySum(*surface), 0.0, 1e-5);
}

// The rings stay symmetric about the square's centre, the velocities keep summing to
// zero, and a second splash resets only the four heights.
TEST(RippleSurface, RipplesStaySymmetricAndBalanced)
{
    auto surface = makeSurface();
    flatten(*surface, 0.0f);
    surface->splash();
    for (int steps = 0; steps < 30; ++steps) {
        surface->step();
        ASSERT_NEAR(surface->positions[12][24].y, surface->positions[15][27].y, 1e-6) << steps;
        ASSERT_NEAR(surface->positions[13][24].y, surface->positions[14][27].y, 1e-6) << steps;
        ASSERT_NEAR(surface->positions[10][20].y, surface->positions[17][31].y, 1e-6) << steps;
        ASSERT_NEAR(velocitySum(*surface), 0.0, 1e-4) << steps;
    }
    // Proof that the symmetry comparison can fail: mirrored across one axis only, the
    // pairs are not the same vertices' images.
    EXPECT_GT(std::fabs(surface->positions[12][24].y - surface->positions[15][24].y) +
                  std::fabs(surface->positions[10][20].y - surface->positions[10][31].y) +
                  std::fabs(surface->positions[13][20].y - surface->positions[13][31].y),
              0.0);

    float velocities[4];
    const int square[][2] = {{13, 25}, {13, 26}, {14, 25}, {14, 26}};
    for (int k = 0; k < 4; ++k) {
        velocities[k] = surface->velocity[square[k][0]][square[k][1]];
        EXPECT_NE(surface->positions[square[k][0]][square[k][1]].y, 2.0f);
    }
    const float neighbour = surface->positions[12][25].y;
    surface->splash();
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(surface->positions[square[k][0]][square[k][1]].y, 2.0f);
        EXPECT_EQ(surface->velocity[square[k][0]][square[k][1]], velocities[k]);
    }
    EXPECT_EQ(surface->positions[12][25].y, neighbour);
}

// On a disturbed grid each normal is the unit cross product of the two edges its case
// names; written out for the grid's spacing of 1, with a and b the two edges' rises.
TEST(RippleSurface, NormalsFollowTheirEdgesEverywhere)
{
    auto surface = makeSurface();
    for (int i = 0; i < 50; ++i) {
        for (int j = 0; j < 50; ++j) {
            surface->positions[i][j].y = static_cast<float>(std::sin(i * 0.7) + 0.5 * std::cos(j * 1.3 + i * 0.2));
        }
    }
    surface->computeNormals();
    const auto h = [&](int i, int j) { return static_cast<double>(surface->positions[i][j].y); };
    const auto expect = [&](int i, int j, double x, double y, double z) {
        const double length = std::sqrt(x * x + y * y + z * z);
        const Vec3& n = surface->normals[i][j];
        EXPECT_NEAR(n.x, x / length, 1e-5) << i << "," << j;
        EXPECT_NEAR(n.y, y / length, 1e-5) << i << "," << j;
        EXPECT_NEAR(n.z, z / length, 1e-5) << i << "," << j;
    };
    // Inside: toward +z and toward +x. (0, a, 1) x (1, b, 0) = (-b, 1, -a).
    for (const auto& v : {std::pair{0, 0}, std::pair{20, 7}, std::pair{48, 48}, std::pair{0, 30}}) {
        const int i = v.first;
        const int j = v.second;
        expect(i, j, -(h(i + 1, j) - h(i, j)), 1.0, -(h(i, j + 1) - h(i, j)));
    }
    // Last row or column: toward -z and toward -x. (0, a, -1) x (-1, b, 0) = (b, 1, a).
    for (const auto& v : {std::pair{49, 49}, std::pair{49, 20}, std::pair{10, 49}}) {
        const int i = v.first;
        const int j = v.second;
        expect(i, j, h(i - 1, j) - h(i, j), 1.0, h(i, j - 1) - h(i, j));
    }
    // First row, last column: toward -z and toward +x, turned over. (0, a, -1) x (1, b, 0)
    // = (b, -1, -a), negated.
    expect(0, 49, -(h(1, 49) - h(0, 49)), 1.0, h(0, 48) - h(0, 49));
    // Last row, first column: toward -x and toward +z. (-1, a, 0) x (0, b, 1) = (a, 1, -b).
    expect(49, 0, h(48, 0) - h(49, 0), 1.0, -(h(49, 1) - h(49, 0)));
}

// One draw sends 49 strips of 100 vertices, column pairs row by row, with the normals of
// the state before, and leaves the state the frame script draws on.
TEST(RippleSurface, DrawSendsItsStripsAndLeavesItsState)
{
    OffscreenContext context;
    auto surface = makeSurface();
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1.0f, 2.0f, 3.0f);
    GLfloat before[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, before);

    GlRecorder first;
    surface->draw(texture);
    ASSERT_EQ(first.primitives.size(), 49u);
    for (const GlRecorder::Primitive& strip : first.primitives) {
        EXPECT_EQ(strip.mode, static_cast<GLenum>(GL_TRIANGLE_STRIP));
        ASSERT_EQ(strip.vertices.size(), 100u);
        EXPECT_EQ(strip.normals[0].y, 0.0f) << "the first draw has no normals yet";
    }
    const GlRecorder::Primitive& strip = first.primitives[7];
    EXPECT_NEAR(strip.vertices[0].z, 7.0f, 1e-4);
    EXPECT_NEAR(strip.vertices[1].z, 8.0f, 1e-4);
    EXPECT_NEAR(strip.vertices[98].x, 49.0f, 1e-4);
    EXPECT_EQ(strip.vertices[99].y, -20.0f) << "the heights before the step";
    EXPECT_FLOAT_EQ(surface->positions[0][0].y, -19.6f) << "and one step after it";

    GlRecorder second;
    surface->draw(texture);
    EXPECT_FLOAT_EQ(second.primitives[3].normals[5].y, 1.0f) << "the normals of the step before";
    EXPECT_FLOAT_EQ(second.primitives[3].vertices[5].y, -19.6f);

    for (GLenum capability : {GL_TEXTURE_2D, GL_LIGHTING, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_BLEND}) {
        EXPECT_TRUE(glIsEnabled(capability)) << std::hex << capability;
    }
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    GLint value = 0;
    glGetIntegerv(GL_BLEND_SRC, &value);
    EXPECT_EQ(value, GL_SRC_COLOR);
    glGetIntegerv(GL_BLEND_DST, &value);
    EXPECT_EQ(value, GL_ONE);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &value);
    EXPECT_EQ(value, GL_DECAL);
    glGetTexGeniv(GL_S, GL_TEXTURE_GEN_MODE, &value);
    EXPECT_EQ(value, GL_SPHERE_MAP);
    glGetTexGeniv(GL_T, GL_TEXTURE_GEN_MODE, &value);
    EXPECT_EQ(value, GL_SPHERE_MAP);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
    EXPECT_EQ(value, static_cast<GLint>(texture));
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[0], 0.9f);
    EXPECT_FLOAT_EQ(colour[3], 0.9f);
    GLfloat after[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(after[k], before[k]) << k;
    }
}

} // namespace

namespace {

// The step as its rule is stated: each inner vertex, in row order, takes d from itself
// and gives it to each neighbour in turn. The surface's own step gathers the same terms
// per vertex; both must agree to the last bit.
void scatteredStep(RippleSurface& s)
{
    const int n = s.size;
    const struct {
        int di, dj;
        bool diagonal;
    } order[] = {{0, -1, false}, {-1, 0, false}, {0, 1, false}, {1, 0, false},
                 {1, 1, true},   {-1, -1, true}, {1, -1, true}, {-1, 1, true}};
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            s.force[i][j] = 0.0f;
        }
    }
    for (int i = 1; i <= n - 2; ++i) {
        for (int j = 1; j <= n - 2; ++j) {
            for (const auto& o : order) {
                float& neighbour = s.force[i + o.di][j + o.dj];
                const float difference = s.positions[i][j].y - s.positions[i + o.di][j + o.dj].y;
                if (o.diagonal) {
                    const double d = 0.707106781373095 * difference;
                    s.force[i][j] = static_cast<float>(s.force[i][j] - d);
                    neighbour = static_cast<float>(neighbour + d);
                } else {
                    s.force[i][j] -= difference;
                    neighbour += difference;
                }
            }
        }
    }
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            s.velocity[i][j] = static_cast<float>(s.velocity[i][j] + 0.02 * s.force[i][j]);
            const float h = s.positions[i][j].y + s.velocity[i][j];
            s.positions[i][j].y = h - h / static_cast<float>(n);
        }
    }
}

TEST(RippleSurface, StepAgreesBitForBitWithTheScatteredRule)
{
    for (int size : {2, 3, 4, 5, 27, 50, 100}) {
        auto gathered = makeSurface(size);
        auto scattered = makeSurface(size);
        for (int steps = 0; steps < 120; ++steps) {
            if (steps % 37 == 0) {
                gathered->splash();
                scattered->splash();
            }
            gathered->step();
            scatteredStep(*scattered);
        }
        int differing = 0;
        for (int i = 0; i < size; ++i) {
            for (int j = 0; j < size; ++j) {
                differing += gathered->positions[i][j].y != scattered->positions[i][j].y;
                differing += gathered->force[i][j] != scattered->force[i][j];
                differing += gathered->velocity[i][j] != scattered->velocity[i][j];
            }
        }
        EXPECT_EQ(differing, 0) << size;
        EXPECT_NE(gathered->positions[size / 2][size / 2].y, -20.0f) << "the surface moved";
    }
}

} // namespace
