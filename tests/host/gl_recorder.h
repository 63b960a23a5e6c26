#pragma once

#include <string>
#include <vector>

#include "platform/gl.h"
#include "scene/vec3.h"

// Records a few of the GL and GLU calls that the program's code makes, on their way to
// the real functions, while an instance lives: the link of the host tests wraps those
// symbols (see CMakeLists.txt). Calls that GLU makes inside itself are not seen.
class GlRecorder {
public:
    // One glBegin to glEnd, with the normal current at each vertex.
    struct Primitive {
        GLenum mode;
        std::vector<Vec3> vertices;
        std::vector<Vec3> normals;
    };
    // One gluSphere, with the state that it draws in.
    struct Sphere {
        GLUquadric* quadric;
        double radius;
        GLint slices;
        GLint stacks;
        GLint texture;
        bool blend;
        bool textureGenS;
        bool textureGenT;
        GLint depthFunction;
        GLint textureGenModeS;
        GLint textureGenModeT;
        GLfloat colour[4];
        GLfloat modelView[16];
    };

    // One glCallLists of GL_BYTE codes, as the font prints a string: the string, where
    // the model-view matrix puts its origin, with that matrix's scale, and the colour.
    struct Text {
        std::string text;
        float x, y;            // the origin before the scale, as print was given it
        float scaleX, scaleY;
        GLfloat colour[4];
    };

    GlRecorder();
    ~GlRecorder();
    GlRecorder(const GlRecorder&) = delete;
    GlRecorder& operator=(const GlRecorder&) = delete;

    std::vector<Primitive> primitives;
    std::vector<Sphere> spheres;
    std::vector<Text> texts;
    // The names of each glDeleteTextures call.
    std::vector<std::vector<GLuint>> deletedTextures;
};
