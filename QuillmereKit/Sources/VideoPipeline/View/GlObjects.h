#pragma once

#include <QOpenGLContext>
#include <QPointer>
#include <utility>

#include <QOpenGLFunctions_3_3_Core>

namespace qm {

using Gl = QOpenGLFunctions_3_3_Core;

// One OpenGL object, deleted through the functions of the context that made it, and only while
// that very context is current: vertex arrays, framebuffers and queries are not shared, so a
// name deleted in another context would hit someone else's object. Otherwise the name is left
// to the context, which frees it when it goes.
template <void (*Delete)(Gl&, GLuint)>
class GlObject {
public:
    GlObject() = default;
    GlObject(Gl& gl, GLuint id) noexcept
        : gl_(&gl), owner_(QOpenGLContext::currentContext()), id_(id) {}
    GlObject(GlObject&& other) noexcept
        : gl_(other.gl_), owner_(other.owner_), id_(std::exchange(other.id_, 0)) {}
    GlObject& operator=(GlObject&& other) noexcept {
        if (this != &other) {
            reset();
            gl_ = other.gl_;
            owner_ = other.owner_;
            id_ = std::exchange(other.id_, 0);
        }
        return *this;
    }
    ~GlObject() { reset(); }

    GLuint id() const noexcept { return id_; }
    explicit operator bool() const noexcept { return id_ != 0; }
    // Hands the name to the caller, who deletes it.
    GLuint release() noexcept { return std::exchange(id_, 0); }

    void reset() noexcept {
        if (id_ != 0 && owner_ && QOpenGLContext::currentContext() == owner_) {
            Delete(*gl_, id_);
        }
        id_ = 0;
    }

private:
    Gl* gl_ = nullptr;
    QPointer<QOpenGLContext> owner_;  // null once that context is gone
    GLuint id_ = 0;
};

namespace gl_delete {
inline void texture(Gl& gl, GLuint id) {
    gl.glDeleteTextures(1, &id);
}
inline void framebuffer(Gl& gl, GLuint id) {
    gl.glDeleteFramebuffers(1, &id);
}
inline void vertexArray(Gl& gl, GLuint id) {
    gl.glDeleteVertexArrays(1, &id);
}
inline void query(Gl& gl, GLuint id) {
    gl.glDeleteQueries(1, &id);
}
inline void program(Gl& gl, GLuint id) {
    gl.glDeleteProgram(id);
}
inline void shader(Gl& gl, GLuint id) {
    gl.glDeleteShader(id);
}
}  // namespace gl_delete

using GlTexture = GlObject<&gl_delete::texture>;
using GlFramebuffer = GlObject<&gl_delete::framebuffer>;
using GlVertexArray = GlObject<&gl_delete::vertexArray>;
using GlQuery = GlObject<&gl_delete::query>;
using GlProgram = GlObject<&gl_delete::program>;
using GlShader = GlObject<&gl_delete::shader>;

inline GlTexture makeTexture(Gl& gl) {
    GLuint id = 0;
    gl.glGenTextures(1, &id);
    return {gl, id};
}

inline GlFramebuffer makeFramebuffer(Gl& gl) {
    GLuint id = 0;
    gl.glGenFramebuffers(1, &id);
    return {gl, id};
}

// A texture of `width` x `height` with linear filtering clamped to the edge, contents undefined.
inline GlTexture makeTexture(Gl& gl, GLint internalFormat, GLenum format, int width, int height) {
    GlTexture texture = makeTexture(gl);
    gl.glBindTexture(GL_TEXTURE_2D, texture.id());
    gl.glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, format, GL_UNSIGNED_BYTE,
                    nullptr);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return texture;
}

}  // namespace qm
