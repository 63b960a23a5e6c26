// Texture objects: GL 1.1's pixel formats converted for ES, and the levels kept to know
// when a texture is complete.
#include <cstdint>
#include <vector>

#include "gl11/renderer.h"
#include "gl11/state.h"

#include <GLES3/gl3.h>

namespace gl11 {

namespace {

// GL 1.1's texture formats: 3 and GL_RGB keep colour, 4 and GL_RGBA colour and alpha.
// The layer takes no other.
int componentsOf(GLint internalFormat)
{
    switch (internalFormat) {
    case 3:
    case static_cast<GLint>(GL_RGB):
        return 3;
    case 4:
    case static_cast<GLint>(GL_RGBA):
        return 4;
    default:
        return 0;
    }
}

// The bytes of one source pixel, and where its red, green, blue and alpha are (-1: none).
struct SourceLayout {
    int bytes;
    int red, green, blue, alpha;
};

bool sourceLayout(GLenum format, SourceLayout& layout)
{
    switch (format) {
    case GL_RGB:
        layout = SourceLayout{3, 0, 1, 2, -1};
        return true;
    case GL_BGR_EXT:
        layout = SourceLayout{3, 2, 1, 0, -1};
        return true;
    case GL_RGBA:
        layout = SourceLayout{4, 0, 1, 2, 3};
        return true;
    case GL_BGRA_EXT:
        layout = SourceLayout{4, 2, 1, 0, 3};
        return true;
    default:
        return false;
    }
}

bool mipmapped(GLenum minFilter)
{
    return minFilter != GL_NEAREST && minFilter != GL_LINEAR;
}

} // namespace

bool TextureObject::complete() const
{
    if (levels.empty() || levels[0].width == 0 || levels[0].height == 0) {
        return false;
    }
    if (!mipmapped(minFilter)) {
        return true;
    }
    GLsizei width = levels[0].width;
    GLsizei height = levels[0].height;
    for (std::size_t level = 1; width > 1 || height > 1; ++level) {
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
        if (level >= levels.size() || levels[level].width != width || levels[level].height != height ||
            levels[level].format != levels[0].format) {
            return false;
        }
    }
    return true;
}

void glGenTextures(GLsizei n, GLuint* textures)
{
    if (state().inBeginEnd || state().compilingList != 0) {
        reject(GL_INVALID_OPERATION, "glGenTextures", "called between glBegin and glEnd or in a display list");
        return;
    }
    ::glGenTextures(n, textures);
    for (GLsizei i = 0; i < n; ++i) {
        state().textures[textures[i]] = TextureObject{};
    }
}

void glDeleteTextures(GLsizei n, const GLuint* textures)
{
    if (state().inBeginEnd || state().compilingList != 0) {
        reject(GL_INVALID_OPERATION, "glDeleteTextures", "called between glBegin and glEnd or in a display list");
        return;
    }
    // A batch drawn with one of them is drawn before it goes.
    flushBatch();
    State& s = state();
    for (GLsizei i = 0; i < n; ++i) {
        if (textures[i] == 0) {
            continue;
        }
        s.textures.erase(textures[i]);
        // As in GL, the binding of a deleted texture reverts to the default one.
        if (s.boundTexture == textures[i]) {
            s.boundTexture = 0;
        }
    }
    ::glDeleteTextures(n, textures);
    for (GLsizei i = 0; i < n; ++i) {
        textureDeleted(textures[i]);
    }
}

void glBindTexture(GLenum target, GLuint texture)
{
    if (state().inBeginEnd || state().compilingList != 0) {
        reject(GL_INVALID_OPERATION, "glBindTexture", "called between glBegin and glEnd or in a display list");
        return;
    }
    if (target != GL_TEXTURE_2D) {
        rejectValue("glBindTexture", "target", target);
        return;
    }
    State& s = state();
    // A name bound before glGenTextures made it becomes a texture, as in GL 1.1.
    if (s.textures.find(texture) == s.textures.end()) {
        bindTextureForUpdate(texture);
        s.textures[texture] = TextureObject{};
    }
    s.boundTexture = texture;
}

void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const GLvoid* pixels)
{
    const char* call = "glTexImage2D";
    if (state().inBeginEnd || state().compilingList != 0) {
        reject(GL_INVALID_OPERATION, call, "called between glBegin and glEnd or in a display list");
        return;
    }
    const int components = componentsOf(internalFormat);
    SourceLayout source{};
    if (target != GL_TEXTURE_2D) {
        rejectValue(call, "target", target);
        return;
    }
    if (components == 0) {
        rejectValue(call, "internal format", static_cast<GLenum>(internalFormat));
        return;
    }
    if (!sourceLayout(format, source)) {
        rejectValue(call, "format", format);
        return;
    }
    if (type != GL_UNSIGNED_BYTE) {
        rejectValue(call, "type", type);
        return;
    }
    if (level < 0 || level > 31 || width < 0 || height < 0 || border != 0) {
        reject(GL_INVALID_VALUE, call, "a level, size or border out of range (the layer takes no borders)");
        return;
    }

    // The texels as ES takes them: RGB or RGBA bytes, rows packed tightly. GL 1.1's
    // rows start at multiples of 4 bytes, its default unpack alignment.
    const std::size_t sourceRow = (static_cast<std::size_t>(width) * source.bytes + 3) / 4 * 4;
    std::vector<std::uint8_t> texels(static_cast<std::size_t>(width) * height * components);
    if (pixels != nullptr) {
        const auto* bytes = static_cast<const std::uint8_t*>(pixels);
        std::uint8_t* out = texels.data();
        for (GLsizei y = 0; y < height; ++y) {
            const std::uint8_t* p = bytes + sourceRow * y;
            for (GLsizei x = 0; x < width; ++x, p += source.bytes) {
                *out++ = p[source.red];
                *out++ = p[source.green];
                *out++ = p[source.blue];
                if (components == 4) {
                    *out++ = source.alpha >= 0 ? p[source.alpha] : 255;
                }
            }
        }
    }

    State& s = state();
    bindTextureForUpdate(s.boundTexture);
    const GLenum esFormat = components == 4 ? GL_RGBA : GL_RGB;
    ::glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    ::glTexImage2D(GL_TEXTURE_2D, level, components == 4 ? GL_RGBA8 : GL_RGB8, width, height, 0, esFormat,
                   GL_UNSIGNED_BYTE, texels.data());
    std::vector<TextureObject::Level>& levels = s.textures[s.boundTexture].levels;
    if (levels.size() <= static_cast<std::size_t>(level)) {
        levels.resize(static_cast<std::size_t>(level) + 1);
    }
    levels[static_cast<std::size_t>(level)] = TextureObject::Level{width, height, components};
}

void glTexParameteri(GLenum target, GLenum pname, GLint param)
{
    const char* call = "glTexParameteri";
    if (state().inBeginEnd || state().compilingList != 0) {
        reject(GL_INVALID_OPERATION, call, "called between glBegin and glEnd or in a display list");
        return;
    }
    const auto value = static_cast<GLenum>(param);
    if (target != GL_TEXTURE_2D) {
        rejectValue(call, "target", target);
        return;
    }
    switch (pname) {
    case GL_TEXTURE_MIN_FILTER:
        if (value != GL_NEAREST && value != GL_LINEAR && value != GL_NEAREST_MIPMAP_NEAREST &&
            value != GL_LINEAR_MIPMAP_NEAREST && value != GL_NEAREST_MIPMAP_LINEAR &&
            value != GL_LINEAR_MIPMAP_LINEAR) {
            rejectValue(call, "minification filter", value);
            return;
        }
        state().textures[state().boundTexture].minFilter = value;
        break;
    case GL_TEXTURE_MAG_FILTER:
        if (value != GL_NEAREST && value != GL_LINEAR) {
            rejectValue(call, "magnification filter", value);
            return;
        }
        break;
    case GL_TEXTURE_WRAP_S:
    case GL_TEXTURE_WRAP_T:
        // GL 1.1's other wrap, GL_CLAMP, samples the border colour, which ES has not.
        if (value != GL_REPEAT) {
            rejectValue(call, "wrap mode", value);
            return;
        }
        break;
    default:
        rejectValue(call, "parameter", pname);
        return;
    }
    bindTextureForUpdate(state().boundTexture);
    ::glTexParameteri(GL_TEXTURE_2D, pname, param);
}

} // namespace gl11
