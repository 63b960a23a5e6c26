#pragma once

// OpenGL 1.1 and GLU, as far as the show uses them, answered over OpenGL ES 3.0 (WebGL 2
// in a browser). The README beside this file lists what is here and what is not.
//
// The functions and constants live in namespace gl11 and keep their GL names, so that
// code written for OpenGL 1.1 compiles unchanged once the namespace is brought in (as
// platform/gl.h does). The namespace keeps them apart from the ES functions of the same
// names, which the layer itself calls. The types are GL's own, declared exactly as the
// ES headers declare them.
//
// A file that includes both this header and an ES header includes this one first: the
// ES headers define their constants as macros.
//
// A call with a value that the layer does not handle is not ignored: in a build with
// GL11_STRICT or without NDEBUG it prints the call and aborts; otherwise it prints it
// once, does nothing, and leaves the error that GL would (glGetError).

typedef unsigned int GLenum;
typedef unsigned int GLuint;
typedef int GLint;
typedef int GLsizei;
typedef unsigned int GLbitfield;
typedef unsigned char GLboolean;
typedef float GLfloat;
typedef float GLclampf;
typedef double GLdouble;
typedef double GLclampd;
typedef void GLvoid;

namespace gl11 {

// The constants the layer takes, with OpenGL 1.1's values.
constexpr GLboolean GL_FALSE = 0;
constexpr GLboolean GL_TRUE = 1;

constexpr GLenum GL_NO_ERROR = 0;
constexpr GLenum GL_INVALID_ENUM = 0x0500;
constexpr GLenum GL_INVALID_VALUE = 0x0501;
constexpr GLenum GL_INVALID_OPERATION = 0x0502;
constexpr GLenum GL_STACK_OVERFLOW = 0x0503;
constexpr GLenum GL_STACK_UNDERFLOW = 0x0504;

// Primitives.
constexpr GLenum GL_LINES = 0x0001;
constexpr GLenum GL_TRIANGLES = 0x0004;
constexpr GLenum GL_TRIANGLE_STRIP = 0x0005;
constexpr GLenum GL_TRIANGLE_FAN = 0x0006;
constexpr GLenum GL_QUADS = 0x0007;
constexpr GLenum GL_QUAD_STRIP = 0x0008;
constexpr GLenum GL_POLYGON = 0x0009;

// Comparison functions, stencil operations and blend factors.
constexpr GLenum GL_NEVER = 0x0200;
constexpr GLenum GL_LESS = 0x0201;
constexpr GLenum GL_EQUAL = 0x0202;
constexpr GLenum GL_LEQUAL = 0x0203;
constexpr GLenum GL_GREATER = 0x0204;
constexpr GLenum GL_NOTEQUAL = 0x0205;
constexpr GLenum GL_GEQUAL = 0x0206;
constexpr GLenum GL_ALWAYS = 0x0207;
constexpr GLenum GL_ZERO = 0;
constexpr GLenum GL_ONE = 1;
constexpr GLenum GL_SRC_COLOR = 0x0300;
constexpr GLenum GL_ONE_MINUS_SRC_COLOR = 0x0301;
constexpr GLenum GL_SRC_ALPHA = 0x0302;
constexpr GLenum GL_ONE_MINUS_SRC_ALPHA = 0x0303;
constexpr GLenum GL_DST_ALPHA = 0x0304;
constexpr GLenum GL_ONE_MINUS_DST_ALPHA = 0x0305;
constexpr GLenum GL_DST_COLOR = 0x0306;
constexpr GLenum GL_ONE_MINUS_DST_COLOR = 0x0307;
constexpr GLenum GL_SRC_ALPHA_SATURATE = 0x0308;
constexpr GLenum GL_KEEP = 0x1E00;
constexpr GLenum GL_REPLACE = 0x1E01;
constexpr GLenum GL_INCR = 0x1E02;
constexpr GLenum GL_DECR = 0x1E03;
constexpr GLenum GL_INVERT = 0x150A;

// Capabilities.
constexpr GLenum GL_LIGHTING = 0x0B50;
constexpr GLenum GL_COLOR_MATERIAL = 0x0B57;
constexpr GLenum GL_DEPTH_TEST = 0x0B71;
constexpr GLenum GL_STENCIL_TEST = 0x0B90;
constexpr GLenum GL_NORMALIZE = 0x0BA1;
constexpr GLenum GL_BLEND = 0x0BE2;
constexpr GLenum GL_SCISSOR_TEST = 0x0C11;
constexpr GLenum GL_TEXTURE_GEN_S = 0x0C60;
constexpr GLenum GL_TEXTURE_GEN_T = 0x0C61;
constexpr GLenum GL_TEXTURE_2D = 0x0DE1;
constexpr GLenum GL_LIGHT0 = 0x4000;
constexpr GLenum GL_LIGHT1 = 0x4001;
constexpr GLenum GL_LIGHT2 = 0x4002;
constexpr GLenum GL_LIGHT3 = 0x4003;
constexpr GLenum GL_LIGHT4 = 0x4004;
constexpr GLenum GL_LIGHT5 = 0x4005;
constexpr GLenum GL_LIGHT6 = 0x4006;
constexpr GLenum GL_LIGHT7 = 0x4007;

// Buffers.
constexpr GLbitfield GL_DEPTH_BUFFER_BIT = 0x00000100;
constexpr GLbitfield GL_STENCIL_BUFFER_BIT = 0x00000400;
constexpr GLbitfield GL_COLOR_BUFFER_BIT = 0x00004000;

// Matrices.
constexpr GLenum GL_MODELVIEW = 0x1700;
constexpr GLenum GL_PROJECTION = 0x1701;
constexpr GLenum GL_TEXTURE = 0x1702;
constexpr GLenum GL_MODELVIEW_MATRIX = 0x0BA6;
constexpr GLenum GL_PROJECTION_MATRIX = 0x0BA7;
constexpr GLenum GL_TEXTURE_MATRIX = 0x0BA8;

// Queries.
constexpr GLenum GL_STENCIL_BITS = 0x0D57;

// Lights.
constexpr GLenum GL_AMBIENT = 0x1200;
constexpr GLenum GL_DIFFUSE = 0x1201;
constexpr GLenum GL_SPECULAR = 0x1202;
constexpr GLenum GL_POSITION = 0x1203;

// Shading, faces and hints.
constexpr GLenum GL_FLAT = 0x1D00;
constexpr GLenum GL_SMOOTH = 0x1D01;
constexpr GLenum GL_CW = 0x0900;
constexpr GLenum GL_CCW = 0x0901;
constexpr GLenum GL_PERSPECTIVE_CORRECTION_HINT = 0x0C50;
constexpr GLenum GL_DONT_CARE = 0x1100;
constexpr GLenum GL_FASTEST = 0x1101;
constexpr GLenum GL_NICEST = 0x1102;

// Texture coordinate generation.
constexpr GLenum GL_S = 0x2000;
constexpr GLenum GL_T = 0x2001;
constexpr GLenum GL_TEXTURE_GEN_MODE = 0x2500;
constexpr GLenum GL_OBJECT_LINEAR = 0x2401;
constexpr GLenum GL_EYE_LINEAR = 0x2400;
constexpr GLenum GL_SPHERE_MAP = 0x2402;

// Textures and their environment.
constexpr GLenum GL_TEXTURE_ENV = 0x2300;
constexpr GLenum GL_TEXTURE_ENV_MODE = 0x2200;
constexpr GLenum GL_MODULATE = 0x2100;
constexpr GLenum GL_DECAL = 0x2101;
constexpr GLenum GL_TEXTURE_MAG_FILTER = 0x2800;
constexpr GLenum GL_TEXTURE_MIN_FILTER = 0x2801;
constexpr GLenum GL_TEXTURE_WRAP_S = 0x2802;
constexpr GLenum GL_TEXTURE_WRAP_T = 0x2803;
constexpr GLenum GL_NEAREST = 0x2600;
constexpr GLenum GL_LINEAR = 0x2601;
constexpr GLenum GL_NEAREST_MIPMAP_NEAREST = 0x2700;
constexpr GLenum GL_LINEAR_MIPMAP_NEAREST = 0x2701;
constexpr GLenum GL_NEAREST_MIPMAP_LINEAR = 0x2702;
constexpr GLenum GL_LINEAR_MIPMAP_LINEAR = 0x2703;
constexpr GLenum GL_REPEAT = 0x2901;

// Pixels.
constexpr GLenum GL_BYTE = 0x1400;
constexpr GLenum GL_UNSIGNED_BYTE = 0x1401;
constexpr GLenum GL_RGB = 0x1907;
constexpr GLenum GL_RGBA = 0x1908;
constexpr GLenum GL_BGR_EXT = 0x80E0;
constexpr GLenum GL_BGRA_EXT = 0x80E1;

// Display lists.
constexpr GLenum GL_COMPILE = 0x1300;
constexpr GLenum GL_COMPILE_AND_EXECUTE = 0x1301;

// Some constants the layer knows only to refuse them by name.
constexpr GLenum GL_POINTS = 0x0000;
constexpr GLenum GL_LINE_LOOP = 0x0002;
constexpr GLenum GL_LINE_STRIP = 0x0003;
constexpr GLenum GL_CULL_FACE = 0x0B44;
constexpr GLenum GL_FOG = 0x0B60;
constexpr GLenum GL_ALPHA_TEST = 0x0BC0;
constexpr GLenum GL_CLAMP = 0x2900;

// Errors, as GL keeps them: the first since the last call.
GLenum glGetError();

// Immediate mode.
void glBegin(GLenum mode);
void glEnd();
void glVertex2i(GLint x, GLint y);
void glVertex2f(GLfloat x, GLfloat y);
void glVertex3f(GLfloat x, GLfloat y, GLfloat z);
void glNormal3f(GLfloat x, GLfloat y, GLfloat z);
void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha);
void glTexCoord2f(GLfloat s, GLfloat t);

// Matrices.
void glMatrixMode(GLenum mode);
void glLoadIdentity();
void glPushMatrix();
void glPopMatrix();
void glTranslatef(GLfloat x, GLfloat y, GLfloat z);
void glTranslated(GLdouble x, GLdouble y, GLdouble z);
void glScalef(GLfloat x, GLfloat y, GLfloat z);
void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar);
void glGetFloatv(GLenum pname, GLfloat* params);
void glGetIntegerv(GLenum pname, GLint* params);

// Enables, lighting and shading.
void glEnable(GLenum cap);
void glDisable(GLenum cap);
void glLightfv(GLenum light, GLenum pname, const GLfloat* params);
void glShadeModel(GLenum mode);
void glFrontFace(GLenum mode);
void glHint(GLenum target, GLenum mode);

// Textures.
void glGenTextures(GLsizei n, GLuint* textures);
void glDeleteTextures(GLsizei n, const GLuint* textures);
void glBindTexture(GLenum target, GLuint texture);
void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const GLvoid* pixels);
void glTexParameteri(GLenum target, GLenum pname, GLint param);
void glTexEnvf(GLenum target, GLenum pname, GLfloat param);
void glTexGeni(GLenum coord, GLenum pname, GLint param);
void glTexGenf(GLenum coord, GLenum pname, GLfloat param);

// Fragments and the framebuffer.
void glBlendFunc(GLenum sfactor, GLenum dfactor);
void glDepthFunc(GLenum func);
void glStencilFunc(GLenum func, GLint ref, GLuint mask);
void glStencilOp(GLenum fail, GLenum zfail, GLenum zpass);
void glScissor(GLint x, GLint y, GLsizei width, GLsizei height);
void glViewport(GLint x, GLint y, GLsizei width, GLsizei height);
void glLineWidth(GLfloat width);
void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha);
void glClearDepth(GLclampd depth);
void glClearStencil(GLint s);
void glClear(GLbitfield mask);
void glFlush();
void glFinish();
// GL_RGBA bytes only; rows from the bottom, as GL reads them.
void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, GLvoid* pixels);

// Display lists.
GLuint glGenLists(GLsizei range);
void glNewList(GLuint list, GLenum mode);
void glEndList();
void glCallLists(GLsizei n, GLenum type, const GLvoid* lists);
void glListBase(GLuint base);
void glDeleteLists(GLuint list, GLsizei range);

// GLU.
struct GLUquadric;
GLUquadric* gluNewQuadric();
void gluDeleteQuadric(GLUquadric* quadric);
void gluQuadricTexture(GLUquadric* quadric, GLboolean textureCoords);
void gluSphere(GLUquadric* quadric, GLdouble radius, GLint slices, GLint stacks);
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar);
void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY, GLdouble centerZ,
               GLdouble upX, GLdouble upY, GLdouble upZ);
GLint gluBuild2DMipmaps(GLenum target, GLint components, GLint width, GLint height, GLenum format, GLenum type,
                        const void* data);

// The layer's own lifetime, for the platform code that makes and ends the ES context:
// startContext gives the current ES context the state of a new GL 1.1 context whose
// window is width x height pixels (the first viewport and scissor box); endContext
// deletes the ES objects the layer made in it, before the context goes.
void startContext(GLsizei width, GLsizei height);
void endContext();

} // namespace gl11
