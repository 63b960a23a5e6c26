// The GL 1.1 entry points of the layer, except textures (textures.cpp) and GLU (glu.cpp):
// each checks its values, changes the state, and draws at glEnd.
#include "gl11/gl11.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <unordered_set>

#include "gl11/renderer.h"
#include "gl11/state.h"

#if defined(GL11_STRICT) || !defined(NDEBUG)
#define GL11_ABORTS 1
#else
#define GL11_ABORTS 0
#endif

namespace gl11 {

static_assert(std::has_unique_object_representations_v<RasterState>,
              "raster states are compared byte by byte");

State& state()
{
    static State theState;
    return theState;
}

void reject(GLenum error, const char* call, const char* reason)
{
    State& s = state();
    if (s.error == GL_NO_ERROR) {
        s.error = error;
    }
    if (GL11_ABORTS) {
        std::fprintf(stderr, "gl11: %s: %s\n", call, reason);
        std::abort();
    }
    // Told once per call and reason, however often it comes.
    static std::unordered_set<std::string> told;
    if (told.insert(std::string(call) + reason).second) {
        std::fprintf(stderr, "gl11: %s: %s (ignored)\n", call, reason);
    }
}

void rejectValue(const char* call, const char* what, GLenum value)
{
    char reason[128];
    std::snprintf(reason, sizeof reason, "%s 0x%04X is not supported", what, value);
    reject(GL_INVALID_ENUM, call, reason);
}

GLenum glGetError()
{
    State& s = state();
    const GLenum error = s.error;
    s.error = GL_NO_ERROR;
    return error;
}

namespace {

// True when the call must not run now: inside glBegin and glEnd, where GL 1.1 takes
// only the vertex calls, or while a display list is compiled, which takes only the calls
// that ListCommand names.
bool refusedHere(const char* call)
{
    State& s = state();
    if (s.inBeginEnd) {
        reject(GL_INVALID_OPERATION, call, "called between glBegin and glEnd");
        return true;
    }
    if (s.compilingList != 0) {
        reject(GL_INVALID_OPERATION, call, "cannot be compiled into a display list");
        return true;
    }
    return false;
}

// Records a call into the display list being compiled. True when the call is only
// compiled, not also executed.
bool compiled(ListCommand::Op op, double a = 0.0, double b = 0.0, double c = 0.0, double d = 0.0)
{
    State& s = state();
    if (s.compilingList == 0) {
        return false;
    }
    s.compiling.push_back(ListCommand{op, {a, b, c, d}});
    return s.compileMode == GL_COMPILE;
}

std::vector<Matrix>& currentStack(State& s)
{
    switch (s.matrixMode) {
    case GL_PROJECTION:
        return s.projection;
    case GL_TEXTURE:
        return s.texture;
    default:
        return s.modelView;
    }
}

void translate(double x, double y, double z)
{
    multiplyCurrentMatrix(Matrix::translation(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)));
}

void scale(double x, double y, double z)
{
    multiplyCurrentMatrix(Matrix::scaling(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)));
}

void pushMatrix()
{
    State& s = state();
    std::vector<Matrix>& stack = currentStack(s);
    // GL 1.1's least depths: 32 model-view matrices, 2 of each other kind.
    const std::size_t depth = s.matrixMode == GL_MODELVIEW ? 32 : 2;
    if (stack.size() >= depth) {
        reject(GL_STACK_OVERFLOW, "glPushMatrix", "the matrix stack is full");
        return;
    }
    stack.push_back(stack.back());
}

void popMatrix()
{
    State& s = state();
    std::vector<Matrix>& stack = currentStack(s);
    if (stack.size() <= 1) {
        reject(GL_STACK_UNDERFLOW, "glPopMatrix", "the matrix stack holds one matrix");
        return;
    }
    stack.pop_back();
    s.matricesChanged = true;
}

bool isPrimitive(GLenum mode)
{
    switch (mode) {
    case GL_LINES:
    case GL_TRIANGLES:
    case GL_TRIANGLE_STRIP:
    case GL_TRIANGLE_FAN:
    case GL_QUADS:
    case GL_QUAD_STRIP:
    case GL_POLYGON:
        return true;
    default:
        return false;
    }
}

void begin(GLenum mode)
{
    State& s = state();
    if (s.inBeginEnd) {
        reject(GL_INVALID_OPERATION, "glBegin", "called between glBegin and glEnd");
        return;
    }
    if (!isPrimitive(mode)) {
        rejectValue("glBegin", "primitive", mode);
        return;
    }
    s.inBeginEnd = true;
    s.primitive = mode;
    s.vertices.clear();
}

void end()
{
    State& s = state();
    if (!s.inBeginEnd) {
        reject(GL_INVALID_OPERATION, "glEnd", "called without glBegin");
        return;
    }
    s.inBeginEnd = false;
    static std::vector<GpuVertex> transformed;
    static std::vector<GpuVertex> triangles;
    transformed.resize(s.vertices.size());
    transformVertices(s, s.vertices.data(), s.vertices.size(), transformed.data());
    triangles.clear();
    assembleTriangles(s, s.primitive, transformed.data(), transformed.size(), triangles);
    drawTriangles(currentRasterState(), triangles);
}

void vertex(double x, double y, double z, double w)
{
    State& s = state();
    if (!s.inBeginEnd) {
        // GL 1.1 leaves a vertex outside glBegin and glEnd undefined.
        reject(GL_INVALID_OPERATION, "glVertex", "called outside glBegin and glEnd");
        return;
    }
    VertexInput v;
    v.position = Vec4{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z), static_cast<float>(w)};
    v.normal[0] = s.normal[0];
    v.normal[1] = s.normal[1];
    v.normal[2] = s.normal[2];
    v.colour = s.colour;
    v.texCoord = s.texCoord;
    s.vertices.push_back(v);
}

// The current colour; with colour material on, also the material's ambient and diffuse
// colours, which keep it once colour material goes off.
void setColour(const Vec4& colour)
{
    State& s = state();
    s.colour = colour;
    if (s.colourMaterial) {
        s.materialAmbient = colour;
        s.materialDiffuse = colour;
    }
}

void execute(const ListCommand& command)
{
    State& s = state();
    const double* a = command.args;
    switch (command.op) {
    case ListCommand::Op::begin:
        begin(static_cast<GLenum>(a[0]));
        break;
    case ListCommand::Op::end:
        end();
        break;
    case ListCommand::Op::vertex:
        vertex(a[0], a[1], a[2], a[3]);
        break;
    case ListCommand::Op::normal:
        s.normal[0] = static_cast<float>(a[0]);
        s.normal[1] = static_cast<float>(a[1]);
        s.normal[2] = static_cast<float>(a[2]);
        break;
    case ListCommand::Op::colour:
        setColour(Vec4{static_cast<float>(a[0]), static_cast<float>(a[1]), static_cast<float>(a[2]),
                       static_cast<float>(a[3])});
        break;
    case ListCommand::Op::texCoord:
        s.texCoord = Vec4{static_cast<float>(a[0]), static_cast<float>(a[1]), 0.0f, 1.0f};
        break;
    case ListCommand::Op::translate:
        translate(a[0], a[1], a[2]);
        break;
    case ListCommand::Op::scale:
        scale(a[0], a[1], a[2]);
        break;
    case ListCommand::Op::pushMatrix:
        pushMatrix();
        break;
    case ListCommand::Op::popMatrix:
        popMatrix();
        break;
    }
}

bool validComparison(GLenum function)
{
    return function >= GL_NEVER && function <= GL_ALWAYS;
}

bool validStencilOp(GLenum op)
{
    return op == GL_KEEP || op == GL_ZERO || op == GL_REPLACE || op == GL_INCR || op == GL_DECR || op == GL_INVERT;
}

// GL 1.1 takes the source's colour only as a destination factor and the destination's
// only as a source one; the show's water blends by its own colour, which later GLs and
// ES allow, and so does the layer. Alpha saturation stays a source factor.
bool validBlendFactor(GLenum factor, bool source)
{
    switch (factor) {
    case GL_ZERO:
    case GL_ONE:
    case GL_SRC_COLOR:
    case GL_ONE_MINUS_SRC_COLOR:
    case GL_SRC_ALPHA:
    case GL_ONE_MINUS_SRC_ALPHA:
    case GL_DST_ALPHA:
    case GL_ONE_MINUS_DST_ALPHA:
    case GL_DST_COLOR:
    case GL_ONE_MINUS_DST_COLOR:
        return true;
    case GL_SRC_ALPHA_SATURATE:
        return source;
    default:
        return false;
    }
}

// The switch of a capability, or null for one the layer does not handle.
bool* capability(State& s, GLenum cap)
{
    if (cap >= GL_LIGHT0 && cap <= GL_LIGHT7) {
        return &s.lights[cap - GL_LIGHT0].enabled;
    }
    switch (cap) {
    case GL_LIGHTING:
        return &s.lighting;
    case GL_COLOR_MATERIAL:
        return &s.colourMaterial;
    case GL_NORMALIZE:
        return &s.normalize;
    case GL_TEXTURE_2D:
        return &s.texture2D;
    case GL_TEXTURE_GEN_S:
        return &s.textureGen[0];
    case GL_TEXTURE_GEN_T:
        return &s.textureGen[1];
    case GL_BLEND:
        return &s.blend;
    case GL_DEPTH_TEST:
        return &s.depthTest;
    case GL_STENCIL_TEST:
        return &s.stencilTest;
    case GL_SCISSOR_TEST:
        return &s.scissorTest;
    default:
        return nullptr;
    }
}

void setCapability(const char* call, GLenum cap, bool on)
{
    if (refusedHere(call)) {
        return;
    }
    State& s = state();
    bool* flag = capability(s, cap);
    if (flag == nullptr) {
        rejectValue(call, "capability", cap);
        return;
    }
    *flag = on;
    if (cap == GL_COLOR_MATERIAL && on) {
        setColour(s.colour);
    }
}

} // namespace

void multiplyCurrentMatrix(const Matrix& m)
{
    State& s = state();
    Matrix& current = currentStack(s).back();
    current = current * m;
    s.matricesChanged = true;
}

RasterState currentRasterState()
{
    const State& s = state();
    RasterState r{};
    for (int i = 0; i < 4; ++i) {
        r.viewport[i] = s.viewport[i];
        r.scissorBox[i] = s.scissorBox[i];
    }
    r.blend = s.blend;
    r.blendSource = s.blendSource;
    r.blendDestination = s.blendDestination;
    r.depthTest = s.depthTest;
    r.depthFunction = s.depthFunction;
    r.stencilTest = s.stencilTest;
    r.stencilFunction = s.stencilFunction;
    r.stencilReference = s.stencilReference;
    r.stencilMask = s.stencilMask;
    r.stencilFail = s.stencilOps[0];
    r.stencilDepthFail = s.stencilOps[1];
    r.stencilPass = s.stencilOps[2];
    r.scissorTest = s.scissorTest;
    if (s.texture2D) {
        const auto found = s.textures.find(s.boundTexture);
        if (found != s.textures.end() && found->second.complete()) {
            r.textured = 1;
            r.texture = s.boundTexture;
            r.environment = s.environment;
        }
    }
    return r;
}

void startContext(GLsizei width, GLsizei height)
{
    releaseRenderer(false);
    State& s = state();
    s = State{};
    s.viewport[2] = s.scissorBox[2] = width;
    s.viewport[3] = s.scissorBox[3] = height;
}

void endContext()
{
    releaseRenderer(true);
    state() = State{};
}

void glBegin(GLenum mode)
{
    if (!compiled(ListCommand::Op::begin, mode)) {
        begin(mode);
    }
}

void glEnd()
{
    if (!compiled(ListCommand::Op::end)) {
        end();
    }
}

void glVertex2i(GLint x, GLint y)
{
    if (!compiled(ListCommand::Op::vertex, x, y, 0.0, 1.0)) {
        vertex(x, y, 0.0, 1.0);
    }
}

void glVertex2f(GLfloat x, GLfloat y)
{
    if (!compiled(ListCommand::Op::vertex, x, y, 0.0, 1.0)) {
        vertex(x, y, 0.0, 1.0);
    }
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    if (!compiled(ListCommand::Op::vertex, x, y, z, 1.0)) {
        vertex(x, y, z, 1.0);
    }
}

void glNormal3f(GLfloat x, GLfloat y, GLfloat z)
{
    if (!compiled(ListCommand::Op::normal, x, y, z)) {
        State& s = state();
        s.normal[0] = x;
        s.normal[1] = y;
        s.normal[2] = z;
    }
}

void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha)
{
    if (!compiled(ListCommand::Op::colour, red, green, blue, alpha)) {
        setColour(Vec4{red, green, blue, alpha});
    }
}

void glTexCoord2f(GLfloat s, GLfloat t)
{
    if (!compiled(ListCommand::Op::texCoord, s, t)) {
        state().texCoord = Vec4{s, t, 0.0f, 1.0f};
    }
}

void glMatrixMode(GLenum mode)
{
    if (refusedHere("glMatrixMode")) {
        return;
    }
    if (mode != GL_MODELVIEW && mode != GL_PROJECTION && mode != GL_TEXTURE) {
        rejectValue("glMatrixMode", "matrix mode", mode);
        return;
    }
    state().matrixMode = mode;
}

void glLoadIdentity()
{
    if (refusedHere("glLoadIdentity")) {
        return;
    }
    State& s = state();
    currentStack(s).back() = Matrix::identity();
    s.matricesChanged = true;
}

void glPushMatrix()
{
    if (!compiled(ListCommand::Op::pushMatrix)) {
        pushMatrix();
    }
}

void glPopMatrix()
{
    if (!compiled(ListCommand::Op::popMatrix)) {
        popMatrix();
    }
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    if (!compiled(ListCommand::Op::translate, x, y, z)) {
        translate(x, y, z);
    }
}

void glTranslated(GLdouble x, GLdouble y, GLdouble z)
{
    if (!compiled(ListCommand::Op::translate, x, y, z)) {
        translate(x, y, z);
    }
}

void glScalef(GLfloat x, GLfloat y, GLfloat z)
{
    if (!compiled(ListCommand::Op::scale, x, y, z)) {
        scale(x, y, z);
    }
}

void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar)
{
    if (refusedHere("glOrtho")) {
        return;
    }
    if (left == right || bottom == top || zNear == zFar) {
        reject(GL_INVALID_VALUE, "glOrtho", "a side of the box has no length");
        return;
    }
    const double m[16] = {2.0 / (right - left), 0.0, 0.0, 0.0,
                          0.0, 2.0 / (top - bottom), 0.0, 0.0,
                          0.0, 0.0, -2.0 / (zFar - zNear), 0.0,
                          -(right + left) / (right - left), -(top + bottom) / (top - bottom),
                          -(zFar + zNear) / (zFar - zNear), 1.0};
    multiplyCurrentMatrix(Matrix::fromDoubles(m));
}

void glGetFloatv(GLenum pname, GLfloat* params)
{
    if (refusedHere("glGetFloatv")) {
        return;
    }
    State& s = state();
    const Matrix* m = pname == GL_MODELVIEW_MATRIX    ? &s.modelView.back()
                      : pname == GL_PROJECTION_MATRIX ? &s.projection.back()
                      : pname == GL_TEXTURE_MATRIX    ? &s.texture.back()
                                                      : nullptr;
    if (m == nullptr) {
        rejectValue("glGetFloatv", "query", pname);
        return;
    }
    for (int i = 0; i < 16; ++i) {
        params[i] = m->m[i];
    }
}

void glGetIntegerv(GLenum pname, GLint* params)
{
    if (refusedHere("glGetIntegerv")) {
        return;
    }
    if (pname != GL_STENCIL_BITS) {
        rejectValue("glGetIntegerv", "query", pname);
        return;
    }
    *params = framebufferStencilBits();
}

void glEnable(GLenum cap)
{
    setCapability("glEnable", cap, true);
}

void glDisable(GLenum cap)
{
    setCapability("glDisable", cap, false);
}

void glLightfv(GLenum light, GLenum pname, const GLfloat* params)
{
    if (refusedHere("glLightfv")) {
        return;
    }
    if (light < GL_LIGHT0 || light > GL_LIGHT7) {
        rejectValue("glLightfv", "light", light);
        return;
    }
    State& s = state();
    Light& l = s.lights[light - GL_LIGHT0];
    float* colour = pname == GL_AMBIENT    ? l.ambient
                    : pname == GL_DIFFUSE  ? l.diffuse
                    : pname == GL_SPECULAR ? l.specular
                                           : nullptr;
    if (colour != nullptr) {
        for (int i = 0; i < 4; ++i) {
            colour[i] = params[i];
        }
    } else if (pname == GL_POSITION) {
        l.position = s.modelView.back().transform(Vec4{params[0], params[1], params[2], params[3]});
    } else {
        rejectValue("glLightfv", "light parameter", pname);
    }
}

void glShadeModel(GLenum mode)
{
    if (refusedHere("glShadeModel")) {
        return;
    }
    // Flat shading takes a primitive's colour from one of its vertices, which the
    // triangles the layer draws do not keep.
    if (mode != GL_SMOOTH) {
        rejectValue("glShadeModel", "shading", mode);
    }
}

void glFrontFace(GLenum mode)
{
    if (refusedHere("glFrontFace")) {
        return;
    }
    // Without culling and two-sided lighting, which the layer has neither of, the front
    // face decides nothing.
    if (mode != GL_CW && mode != GL_CCW) {
        rejectValue("glFrontFace", "winding", mode);
    }
}

void glHint(GLenum target, GLenum mode)
{
    if (refusedHere("glHint")) {
        return;
    }
    // ES always interpolates with perspective correction, the nicest.
    if (target != GL_PERSPECTIVE_CORRECTION_HINT) {
        rejectValue("glHint", "hint", target);
    } else if (mode != GL_DONT_CARE && mode != GL_FASTEST && mode != GL_NICEST) {
        rejectValue("glHint", "mode", mode);
    }
}

void glTexEnvf(GLenum target, GLenum pname, GLfloat param)
{
    if (refusedHere("glTexEnvf")) {
        return;
    }
    const auto mode = static_cast<GLenum>(param);
    if (target != GL_TEXTURE_ENV || pname != GL_TEXTURE_ENV_MODE) {
        rejectValue("glTexEnvf", "parameter", pname);
    } else if (mode != GL_MODULATE && mode != GL_DECAL) {
        rejectValue("glTexEnvf", "texture environment", mode);
    } else {
        state().environment = mode;
    }
}

void glTexGeni(GLenum coord, GLenum pname, GLint param)
{
    if (refusedHere("glTexGen")) {
        return;
    }
    const auto mode = static_cast<GLenum>(param);
    if (coord != GL_S && coord != GL_T) {
        rejectValue("glTexGen", "coordinate", coord);
    } else if (pname != GL_TEXTURE_GEN_MODE) {
        rejectValue("glTexGen", "parameter", pname);
    } else if (mode != GL_OBJECT_LINEAR && mode != GL_EYE_LINEAR && mode != GL_SPHERE_MAP) {
        rejectValue("glTexGen", "mode", mode);
    } else {
        state().textureGenMode[coord - GL_S] = mode == GL_OBJECT_LINEAR ? TexGenMode::objectLinear
                                               : mode == GL_EYE_LINEAR  ? TexGenMode::eyeLinear
                                                                        : TexGenMode::sphereMap;
    }
}

void glTexGenf(GLenum coord, GLenum pname, GLfloat param)
{
    glTexGeni(coord, pname, static_cast<GLint>(param));
}

void glBlendFunc(GLenum sfactor, GLenum dfactor)
{
    if (refusedHere("glBlendFunc")) {
        return;
    }
    if (!validBlendFactor(sfactor, true)) {
        rejectValue("glBlendFunc", "source factor", sfactor);
    } else if (!validBlendFactor(dfactor, false)) {
        rejectValue("glBlendFunc", "destination factor", dfactor);
    } else {
        State& s = state();
        s.blendSource = sfactor;
        s.blendDestination = dfactor;
    }
}

void glDepthFunc(GLenum func)
{
    if (refusedHere("glDepthFunc")) {
        return;
    }
    if (!validComparison(func)) {
        rejectValue("glDepthFunc", "function", func);
        return;
    }
    state().depthFunction = func;
}

void glStencilFunc(GLenum func, GLint ref, GLuint mask)
{
    if (refusedHere("glStencilFunc")) {
        return;
    }
    if (!validComparison(func)) {
        rejectValue("glStencilFunc", "function", func);
        return;
    }
    State& s = state();
    s.stencilFunction = func;
    s.stencilReference = ref;
    s.stencilMask = mask;
}

void glStencilOp(GLenum fail, GLenum zfail, GLenum zpass)
{
    if (refusedHere("glStencilOp")) {
        return;
    }
    for (GLenum op : {fail, zfail, zpass}) {
        if (!validStencilOp(op)) {
            rejectValue("glStencilOp", "operation", op);
            return;
        }
    }
    State& s = state();
    s.stencilOps[0] = fail;
    s.stencilOps[1] = zfail;
    s.stencilOps[2] = zpass;
}

void glScissor(GLint x, GLint y, GLsizei width, GLsizei height)
{
    if (refusedHere("glScissor")) {
        return;
    }
    if (width < 0 || height < 0) {
        reject(GL_INVALID_VALUE, "glScissor", "a negative size");
        return;
    }
    GLint* box = state().scissorBox;
    box[0] = x;
    box[1] = y;
    box[2] = width;
    box[3] = height;
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    if (refusedHere("glViewport")) {
        return;
    }
    if (width < 0 || height < 0) {
        reject(GL_INVALID_VALUE, "glViewport", "a negative size");
        return;
    }
    State& s = state();
    s.viewport[0] = x;
    s.viewport[1] = y;
    s.viewport[2] = width;
    s.viewport[3] = height;
}

void glLineWidth(GLfloat width)
{
    if (refusedHere("glLineWidth")) {
        return;
    }
    if (!(width > 0.0f)) {
        reject(GL_INVALID_VALUE, "glLineWidth", "a width of 0 or less");
        return;
    }
    state().lineWidth = width;
}

void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha)
{
    if (refusedHere("glClearColor")) {
        return;
    }
    GLfloat* colour = state().clearColour;
    const GLfloat values[4] = {red, green, blue, alpha};
    for (int i = 0; i < 4; ++i) {
        colour[i] = values[i] < 0.0f ? 0.0f : values[i] > 1.0f ? 1.0f : values[i];
    }
}

void glClearDepth(GLclampd depth)
{
    if (refusedHere("glClearDepth")) {
        return;
    }
    state().clearDepth = static_cast<GLfloat>(depth < 0.0 ? 0.0 : depth > 1.0 ? 1.0 : depth);
}

void glClearStencil(GLint s)
{
    if (refusedHere("glClearStencil")) {
        return;
    }
    state().clearStencil = s;
}

void glClear(GLbitfield mask)
{
    if (refusedHere("glClear")) {
        return;
    }
    if ((mask & ~(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT)) != 0) {
        rejectValue("glClear", "buffer bits", mask);
        return;
    }
    clearBuffers(state(), mask);
}

void glFlush()
{
    if (refusedHere("glFlush")) {
        return;
    }
    submitBatch(false);
}

void glFinish()
{
    if (refusedHere("glFinish")) {
        return;
    }
    submitBatch(true);
}

void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, GLvoid* pixels)
{
    if (refusedHere("glReadPixels")) {
        return;
    }
    if (format != GL_RGBA || type != GL_UNSIGNED_BYTE) {
        rejectValue("glReadPixels", "format or type", format != GL_RGBA ? format : type);
        return;
    }
    if (width < 0 || height < 0) {
        reject(GL_INVALID_VALUE, "glReadPixels", "a negative size");
        return;
    }
    readPixels(x, y, width, height, pixels);
}

GLuint glGenLists(GLsizei range)
{
    if (refusedHere("glGenLists")) {
        return 0;
    }
    if (range < 0) {
        reject(GL_INVALID_VALUE, "glGenLists", "a negative range");
        return 0;
    }
    State& s = state();
    const GLuint first = s.nextListName;
    s.nextListName += static_cast<GLuint>(range);
    return range > 0 ? first : 0;
}

void glNewList(GLuint list, GLenum mode)
{
    if (refusedHere("glNewList")) {
        return;
    }
    if (list == 0) {
        reject(GL_INVALID_VALUE, "glNewList", "list 0");
        return;
    }
    if (mode != GL_COMPILE && mode != GL_COMPILE_AND_EXECUTE) {
        rejectValue("glNewList", "mode", mode);
        return;
    }
    State& s = state();
    s.compilingList = list;
    s.compileMode = mode;
    s.compiling.clear();
}

void glEndList()
{
    State& s = state();
    if (s.compilingList == 0 || s.inBeginEnd) {
        reject(GL_INVALID_OPERATION, "glEndList", "no list is being compiled outside glBegin and glEnd");
        return;
    }
    s.lists[s.compilingList] = std::move(s.compiling);
    s.compiling.clear();
    if (s.nextListName <= s.compilingList) {
        s.nextListName = s.compilingList + 1;
    }
    s.compilingList = 0;
}

void glCallLists(GLsizei n, GLenum type, const GLvoid* lists)
{
    if (refusedHere("glCallLists")) {
        return;
    }
    if (type != GL_BYTE && type != GL_UNSIGNED_BYTE) {
        rejectValue("glCallLists", "type", type);
        return;
    }
    State& s = state();
    for (GLsizei i = 0; i < n; ++i) {
        // GL_BYTE names are signed: the base is added to values from -128 to 127.
        const int offset = type == GL_BYTE ? static_cast<const signed char*>(lists)[i]
                                           : static_cast<const unsigned char*>(lists)[i];
        const auto found = s.lists.find(s.listBase + static_cast<GLuint>(offset));
        if (found == s.lists.end()) {
            continue;
        }
        for (const ListCommand& command : found->second) {
            execute(command);
        }
    }
}

void glListBase(GLuint base)
{
    if (refusedHere("glListBase")) {
        return;
    }
    state().listBase = base;
}

void glDeleteLists(GLuint list, GLsizei range)
{
    if (refusedHere("glDeleteLists")) {
        return;
    }
    if (range < 0) {
        reject(GL_INVALID_VALUE, "glDeleteLists", "a negative range");
        return;
    }
    State& s = state();
    for (GLsizei i = 0; i < range; ++i) {
        s.lists.erase(list + static_cast<GLuint>(i));
    }
}

} // namespace gl11
