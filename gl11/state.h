#pragma once

// The GL 1.1 state that the layer keeps, in one plain structure, and what its files share.
// Internal to the layer.
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "gl11/gl11.h"
#include "gl11/matrix.h"

namespace gl11 {

// The per-fragment state that drawing needs from ES, taken at each glEnd. Consecutive
// primitives with equal states are drawn as one batch. Every member is 32 bits wide, so
// that two states compare byte by byte.
struct RasterState {
    GLint viewport[4];
    GLuint blend;
    GLenum blendSource;
    GLenum blendDestination;
    GLuint depthTest;
    GLenum depthFunction;
    GLuint stencilTest;
    GLenum stencilFunction;
    GLint stencilReference;
    GLuint stencilMask;
    GLenum stencilFail;
    GLenum stencilDepthFail;
    GLenum stencilPass;
    GLuint scissorTest;
    GLint scissorBox[4];
    // The texture drawn with, when texturing is on and the bound texture is complete;
    // `textured` is 0 otherwise, as GL 1.1 then draws without one.
    GLuint textured;
    GLuint texture;
    GLenum environment;
};

bool operator==(const RasterState& a, const RasterState& b);

// The values glVertex takes with its position.
struct VertexInput {
    Vec4 position;
    float normal[3];
    Vec4 colour;
    Vec4 texCoord;
};

// A vertex as the GPU receives it: transformed, lit and with its texture coordinates
// generated. Clip coordinates, the colour clamped to [0, 1], and s, t and q.
struct GpuVertex {
    float clip[4];
    float colour[4];
    float texCoord[3];
};

struct Light {
    bool enabled = false;
    float ambient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float diffuse[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float specular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    // Taken into eye space by the model-view matrix current when it was set.
    Vec4 position = {0.0f, 0.0f, 1.0f, 0.0f};
};

struct TextureObject {
    // The sizes of the levels given so far, by level; 0 x 0 where none was.
    struct Level {
        GLsizei width = 0;
        GLsizei height = 0;
        GLint format = 0;
    };
    std::vector<Level> levels;
    GLenum minFilter = GL_NEAREST_MIPMAP_LINEAR;

    // Whether GL 1.1 would texture with it: a first level, and with a mipmapped
    // minification filter every level down to 1 x 1.
    bool complete() const;
};

// One compiled call of a display list.
struct ListCommand {
    enum class Op : std::uint8_t {
        begin, end, vertex, normal, colour, texCoord, translate, scale, pushMatrix, popMatrix
    };
    Op op;
    double args[4];
};

enum class TexGenMode : std::uint8_t { objectLinear, eyeLinear, sphereMap };

struct State {
    // The three matrix stacks; the last entry of each is the current matrix.
    std::vector<Matrix> modelView{Matrix::identity()};
    std::vector<Matrix> projection{Matrix::identity()};
    std::vector<Matrix> texture{Matrix::identity()};
    GLenum matrixMode = GL_MODELVIEW;
    // Derived from the model-view and projection matrices; refreshed before vertices are
    // transformed whenever a matrix call has touched either, the normals' matrix only
    // for vertices that need their normal.
    bool matricesChanged = true;
    bool normalMatrixStale = true;
    Matrix modelViewProjection = Matrix::identity();
    NormalMatrix normalMatrix{};

    // The current values, carried from vertex to vertex and from frame to frame.
    float normal[3] = {0.0f, 0.0f, 1.0f};
    Vec4 colour = {1.0f, 1.0f, 1.0f, 1.0f};
    Vec4 texCoord = {0.0f, 0.0f, 0.0f, 1.0f};

    bool lighting = false;
    // Colour material makes the materials' ambient and diffuse colours follow the
    // current colour; GL 1.1's defaults otherwise, as the layer has no glMaterial.
    bool colourMaterial = false;
    Vec4 materialAmbient = {0.2f, 0.2f, 0.2f, 1.0f};
    Vec4 materialDiffuse = {0.8f, 0.8f, 0.8f, 1.0f};
    bool normalize = false;
    Light lights[8];
    bool texture2D = false;
    bool textureGen[2] = {false, false};
    TexGenMode textureGenMode[2] = {TexGenMode::eyeLinear, TexGenMode::eyeLinear};
    GLenum environment = GL_MODULATE;
    GLfloat lineWidth = 1.0f;

    bool blend = false;
    GLenum blendSource = GL_ONE;
    GLenum blendDestination = GL_ZERO;
    bool depthTest = false;
    GLenum depthFunction = GL_LESS;
    bool stencilTest = false;
    GLenum stencilFunction = GL_ALWAYS;
    GLint stencilReference = 0;
    GLuint stencilMask = ~0u;
    GLenum stencilOps[3] = {GL_KEEP, GL_KEEP, GL_KEEP};
    bool scissorTest = false;
    GLint scissorBox[4] = {0, 0, 0, 0};
    GLint viewport[4] = {0, 0, 0, 0};
    GLfloat clearColour[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    GLfloat clearDepth = 1.0f;
    GLint clearStencil = 0;

    std::unordered_map<GLuint, TextureObject> textures{{0, TextureObject{}}};
    GLuint boundTexture = 0;

    // Between glBegin and glEnd.
    bool inBeginEnd = false;
    GLenum primitive = 0;
    std::vector<VertexInput> vertices;

    // Display lists: the compiled ones, and the one being compiled (0 when none is).
    std::unordered_map<GLuint, std::vector<ListCommand>> lists;
    GLuint nextListName = 1;
    GLuint listBase = 0;
    GLuint compilingList = 0;
    GLenum compileMode = GL_COMPILE;
    std::vector<ListCommand> compiling;

    GLenum error = GL_NO_ERROR;
};

// The one context's state.
State& state();

// Refuses a call: GL's error is recorded, and a strict build aborts (see gl11.h).
void reject(GLenum error, const char* call, const char* reason);
// Refuses a call that is not handled for `value`.
void rejectValue(const char* call, const char* what, GLenum value);

// The current matrix multiplied on the right by `m`, as GL's matrix calls do.
void multiplyCurrentMatrix(const Matrix& m);

// The raster state of the primitives drawn now.
RasterState currentRasterState();

// Transforms, lights and generates texture coordinates for `count` vertices, as GL 1.1
// does per vertex with the current state.
void transformVertices(State& s, const VertexInput* in, std::size_t count, GpuVertex* out);

// The triangles of a primitive of `count` transformed vertices: lines become
// rectangles of the line width in window pixels. Appends them to `triangles`.
void assembleTriangles(const State& s, GLenum mode, const GpuVertex* vertices, std::size_t count,
                       std::vector<GpuVertex>& triangles);

} // namespace gl11
