#include "tests/host/gl_recorder.h"

namespace {
GlRecorder* active = nullptr;
Vec3 currentNormal{0.0f, 0.0f, 1.0f};
} // namespace

GlRecorder::GlRecorder()
{
    active = this;
}

GlRecorder::~GlRecorder()
{
    active = nullptr;
}

extern "C" {
void __real_glBegin(GLenum mode);
void __real_glNormal3f(GLfloat x, GLfloat y, GLfloat z);
void __real_glVertex3f(GLfloat x, GLfloat y, GLfloat z);
void __real_glDeleteTextures(GLsizei count, const GLuint* names);
void __real_gluSphere(GLUquadric* quadric, GLdouble radius, GLint slices, GLint stacks);
void __real_glCallLists(GLsizei count, GLenum type, const GLvoid* lists);

void __wrap_glBegin(GLenum mode)
{
    if (active != nullptr) {
        active->primitives.push_back(GlRecorder::Primitive{mode, {}, {}});
    }
    __real_glBegin(mode);
}

void __wrap_glNormal3f(GLfloat x, GLfloat y, GLfloat z)
{
    currentNormal = Vec3{x, y, z};
    __real_glNormal3f(x, y, z);
}

void __wrap_glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    if (active != nullptr && !active->primitives.empty()) {
        active->primitives.back().vertices.push_back(Vec3{x, y, z});
        active->primitives.back().normals.push_back(currentNormal);
    }
    __real_glVertex3f(x, y, z);
}

void __wrap_glDeleteTextures(GLsizei count, const GLuint* names)
{
    if (active != nullptr) {
        active->deletedTextures.emplace_back(names, names + count);
    }
    __real_glDeleteTextures(count, names);
}

void __wrap_gluSphere(GLUquadric* quadric, GLdouble radius, GLint slices, GLint stacks)
{
    if (active != nullptr) {
        GlRecorder::Sphere sphere{quadric, radius, slices, stacks, 0, false, false, false, 0, 0, 0, {}, {}};
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &sphere.texture);
        sphere.blend = glIsEnabled(GL_BLEND) == GL_TRUE;
        sphere.textureGenS = glIsEnabled(GL_TEXTURE_GEN_S) == GL_TRUE;
        sphere.textureGenT = glIsEnabled(GL_TEXTURE_GEN_T) == GL_TRUE;
        glGetIntegerv(GL_DEPTH_FUNC, &sphere.depthFunction);
        glGetTexGeniv(GL_S, GL_TEXTURE_GEN_MODE, &sphere.textureGenModeS);
        glGetTexGeniv(GL_T, GL_TEXTURE_GEN_MODE, &sphere.textureGenModeT);
        glGetFloatv(GL_CURRENT_COLOR, sphere.colour);
        glGetFloatv(GL_MODELVIEW_MATRIX, sphere.modelView);
        active->spheres.push_back(sphere);
    }
    __real_gluSphere(quadric, radius, slices, stacks);
}

void __wrap_glCallLists(GLsizei count, GLenum type, const GLvoid* lists)
{
    if (active != nullptr && type == GL_BYTE) {
        GlRecorder::Text text{std::string(static_cast<const char*>(lists), static_cast<std::size_t>(count)),
                              0.0f, 0.0f, 0.0f, 0.0f, {}};
        GLfloat modelView[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
        text.scaleX = modelView[0];
        text.scaleY = modelView[5];
        text.x = modelView[12] / modelView[0];
        text.y = modelView[13] / modelView[5];
        glGetFloatv(GL_CURRENT_COLOR, text.colour);
        active->texts.push_back(text);
    }
    __real_glCallLists(count, type, lists);
}
}
