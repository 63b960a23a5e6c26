// Threading: none. The layer's calls run on the thread whose ES context is current.
//
// ES's own functions are called as ::glName: inside namespace gl11 an unqualified name
// finds the layer's function of that name first.
#include "gl11/renderer.h"

#include <GLES3/gl3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace gl11 {

bool operator==(const RasterState& a, const RasterState& b)
{
    return std::memcmp(&a, &b, sizeof(RasterState)) == 0;
}

namespace {

// Attribute locations of the one vertex layout.
constexpr GLuint clipAttribute = 0;
constexpr GLuint colourAttribute = 1;
constexpr GLuint texCoordAttribute = 2;

const char* const vertexShader = R"(#version 300 es
in vec4 clip;
in vec4 colour;
in vec3 texCoord;
out vec4 vColour;
out vec3 vTexCoord;
void main()
{
    gl_Position = clip;
    vColour = colour;
    vTexCoord = texCoord;
}
)";

// The fragment stage of the texture environments. A texture with RGB texels samples
// with an alpha of 1, so that GL 1.1's formulas for RGBA textures also give its results
// for RGB ones: modulate keeps the vertex's alpha, decal replaces the colour.
const char* const fragmentHeader = R"(#version 300 es
precision highp float;
uniform sampler2D image;
in vec4 vColour;
in vec3 vTexCoord;
out vec4 fragColour;
void main()
{
)";
const char* const untexturedBody = "    fragColour = vColour;\n}\n";
const char* const modulateBody = "    fragColour = vColour * textureProj(image, vTexCoord);\n}\n";
const char* const decalBody = R"(    vec4 texel = textureProj(image, vTexCoord);
    fragColour = vec4(mix(vColour.rgb, texel.rgb, texel.a), vColour.a);
}
)";

enum Program { untextured, modulate, decal, programCount };

struct Renderer {
    GLuint programs[programCount] = {};
    GLuint vertexArray = 0;
    GLuint buffer = 0;
    // What ES was last given; nothing is known of a new context's state.
    bool applied = false;
    RasterState state{};
    int program = -1;
    GLuint boundTexture = 0;
    GLfloat clearColour[4] = {};
    GLfloat clearDepth = -1.0f;
    GLint clearStencil = -1;
    // The batch not yet drawn, and the state it is drawn with.
    std::vector<GpuVertex> batch;
    RasterState batchState{};
};

Renderer renderer;

[[noreturn]] void fail(const char* what, const char* log)
{
    std::fprintf(stderr, "gl11: %s\n%s\n", what, log);
    std::abort();
}

GLuint compile(GLenum type, const char* header, const char* body)
{
    const GLuint shader = ::glCreateShader(type);
    const char* parts[] = {header, body};
    ::glShaderSource(shader, body != nullptr ? 2 : 1, parts, nullptr);
    ::glCompileShader(shader);
    GLint compiled = GL_FALSE;
    ::glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        char log[1024] = {};
        ::glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        fail("a shader of the layer does not compile", log);
    }
    return shader;
}

GLuint link(const char* fragmentBody)
{
    const GLuint program = ::glCreateProgram();
    const GLuint vertex = compile(GL_VERTEX_SHADER, vertexShader, nullptr);
    const GLuint fragment = compile(GL_FRAGMENT_SHADER, fragmentHeader, fragmentBody);
    ::glAttachShader(program, vertex);
    ::glAttachShader(program, fragment);
    ::glBindAttribLocation(program, clipAttribute, "clip");
    ::glBindAttribLocation(program, colourAttribute, "colour");
    ::glBindAttribLocation(program, texCoordAttribute, "texCoord");
    ::glLinkProgram(program);
    ::glDeleteShader(vertex);
    ::glDeleteShader(fragment);
    GLint linked = GL_FALSE;
    ::glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        char log[1024] = {};
        ::glGetProgramInfoLog(program, sizeof log, nullptr, log);
        fail("a program of the layer does not link", log);
    }
    ::glUseProgram(program);
    ::glUniform1i(::glGetUniformLocation(program, "image"), 0);
    return program;
}

// The programs and the vertex buffer, made in the current context at its first draw.
void prepare()
{
    if (renderer.buffer != 0) {
        return;
    }
    renderer.programs[untextured] = link(untexturedBody);
    renderer.programs[modulate] = link(modulateBody);
    renderer.programs[decal] = link(decalBody);
    renderer.program = -1;
    ::glGenVertexArrays(1, &renderer.vertexArray);
    ::glBindVertexArray(renderer.vertexArray);
    ::glGenBuffers(1, &renderer.buffer);
    ::glBindBuffer(GL_ARRAY_BUFFER, renderer.buffer);
    const auto stride = static_cast<GLsizei>(sizeof(GpuVertex));
    ::glEnableVertexAttribArray(clipAttribute);
    ::glVertexAttribPointer(clipAttribute, 4, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(GpuVertex, clip)));
    ::glEnableVertexAttribArray(colourAttribute);
    ::glVertexAttribPointer(colourAttribute, 4, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(GpuVertex, colour)));
    ::glEnableVertexAttribArray(texCoordAttribute);
    ::glVertexAttribPointer(texCoordAttribute, 3, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(GpuVertex, texCoord)));
}

void enable(GLenum cap, bool on)
{
    if (on) {
        ::glEnable(cap);
    } else {
        ::glDisable(cap);
    }
}

void bindTexture(GLuint texture)
{
    if (!renderer.applied || renderer.boundTexture != texture) {
        ::glBindTexture(GL_TEXTURE_2D, texture);
        renderer.boundTexture = texture;
    }
}

// Gives ES the parts of `next` that differ from what it has.
void applyState(const RasterState& next)
{
    RasterState& now = renderer.state;
    const bool all = !renderer.applied;
    if (all || std::memcmp(now.viewport, next.viewport, sizeof next.viewport) != 0) {
        ::glViewport(next.viewport[0], next.viewport[1], next.viewport[2], next.viewport[3]);
    }
    if (all || now.blend != next.blend) {
        enable(GL_BLEND, next.blend != 0);
    }
    if (all || now.blendSource != next.blendSource || now.blendDestination != next.blendDestination) {
        ::glBlendFunc(next.blendSource, next.blendDestination);
    }
    if (all || now.depthTest != next.depthTest) {
        enable(GL_DEPTH_TEST, next.depthTest != 0);
    }
    if (all || now.depthFunction != next.depthFunction) {
        ::glDepthFunc(next.depthFunction);
    }
    if (all || now.stencilTest != next.stencilTest) {
        enable(GL_STENCIL_TEST, next.stencilTest != 0);
    }
    if (all || now.stencilFunction != next.stencilFunction || now.stencilReference != next.stencilReference ||
        now.stencilMask != next.stencilMask) {
        ::glStencilFunc(next.stencilFunction, next.stencilReference, next.stencilMask);
    }
    if (all || now.stencilFail != next.stencilFail || now.stencilDepthFail != next.stencilDepthFail ||
        now.stencilPass != next.stencilPass) {
        ::glStencilOp(next.stencilFail, next.stencilDepthFail, next.stencilPass);
    }
    if (all || now.scissorTest != next.scissorTest) {
        enable(GL_SCISSOR_TEST, next.scissorTest != 0);
    }
    if (all || std::memcmp(now.scissorBox, next.scissorBox, sizeof next.scissorBox) != 0) {
        ::glScissor(next.scissorBox[0], next.scissorBox[1], next.scissorBox[2], next.scissorBox[3]);
    }
    const int program = next.textured == 0 ? untextured : next.environment == GL_DECAL ? decal : modulate;
    if (program != renderer.program) {
        ::glUseProgram(renderer.programs[program]);
        renderer.program = program;
    }
    if (next.textured != 0) {
        bindTexture(next.texture);
    }
    now = next;
    renderer.applied = true;
}

} // namespace

void flushBatch()
{
    if (renderer.batch.empty()) {
        return;
    }
    prepare();
    applyState(renderer.batchState);
    ::glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(renderer.batch.size() * sizeof(GpuVertex)),
                 renderer.batch.data(), GL_STREAM_DRAW);
    ::glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(renderer.batch.size()));
    renderer.batch.clear();
}

void submitBatch(bool wait)
{
    flushBatch();
    if (wait) {
        ::glFinish();
    } else {
        ::glFlush();
    }
}

void readPixels(GLint x, GLint y, GLsizei width, GLsizei height, void* pixels)
{
    flushBatch();
    ::glPixelStorei(GL_PACK_ALIGNMENT, 4);
    ::glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
}

GLint framebufferStencilBits()
{
    GLint bits = 0;
    ::glGetIntegerv(GL_STENCIL_BITS, &bits);
    return bits;
}

void drawTriangles(const RasterState& raster, const std::vector<GpuVertex>& triangles)
{
    if (triangles.empty()) {
        return;
    }
    if (!renderer.batch.empty() && !(renderer.batchState == raster)) {
        flushBatch();
    }
    renderer.batchState = raster;
    renderer.batch.insert(renderer.batch.end(), triangles.begin(), triangles.end());
}

void clearBuffers(const State& s, GLbitfield mask)
{
    flushBatch();
    prepare();
    // Only the scissor test of the raster state acts on a clear.
    RasterState raster = renderer.applied ? renderer.state : currentRasterState();
    raster.scissorTest = s.scissorTest ? 1 : 0;
    std::memcpy(raster.scissorBox, s.scissorBox, sizeof raster.scissorBox);
    applyState(raster);
    if ((mask & GL_COLOR_BUFFER_BIT) != 0 &&
        std::memcmp(renderer.clearColour, s.clearColour, sizeof s.clearColour) != 0) {
        ::glClearColor(s.clearColour[0], s.clearColour[1], s.clearColour[2], s.clearColour[3]);
        std::memcpy(renderer.clearColour, s.clearColour, sizeof s.clearColour);
    }
    if ((mask & GL_DEPTH_BUFFER_BIT) != 0 && renderer.clearDepth != s.clearDepth) {
        ::glClearDepthf(s.clearDepth);
        renderer.clearDepth = s.clearDepth;
    }
    if ((mask & GL_STENCIL_BUFFER_BIT) != 0 && renderer.clearStencil != s.clearStencil) {
        ::glClearStencil(s.clearStencil);
        renderer.clearStencil = s.clearStencil;
    }
    ::glClear(mask);
}

void bindTextureForUpdate(GLuint texture)
{
    flushBatch();
    prepare();
    if (!renderer.applied) {
        applyState(currentRasterState());
    }
    bindTexture(texture);
}

void textureDeleted(GLuint texture)
{
    // ES binds 0 in its place, and may hand the name out again.
    if (renderer.boundTexture == texture) {
        renderer.boundTexture = 0;
    }
}

void releaseRenderer(bool deleteObjects)
{
    if (deleteObjects && renderer.buffer != 0) {
        flushBatch();
        for (GLuint program : renderer.programs) {
            ::glDeleteProgram(program);
        }
        ::glDeleteBuffers(1, &renderer.buffer);
        ::glDeleteVertexArrays(1, &renderer.vertexArray);
    }
    renderer = Renderer{};
}

} // namespace gl11
