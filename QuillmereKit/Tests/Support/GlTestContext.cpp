#include "Support/GlTestContext.h"

#include <QOpenGLVersionFunctionsFactory>
#include <stdexcept>

namespace qm::test {

GlTestContext::GlTestContext()
    : surface_(std::make_unique<QOffscreenSurface>()),
      context_(std::make_unique<QOpenGLContext>()) {
    surface_->setFormat(QSurfaceFormat::defaultFormat());
    surface_->create();
    context_->setFormat(QSurfaceFormat::defaultFormat());
    context_->setShareContext(QOpenGLContext::globalShareContext());
    if (!context_->create() || !context_->makeCurrent(surface_.get())) {
        throw std::runtime_error("no OpenGL context for the test");
    }
    gl_ = QOpenGLVersionFunctionsFactory::get<Gl>(context_.get());
    if (!gl_ || !gl_->initializeOpenGLFunctions()) {
        throw std::runtime_error("no OpenGL 3.3 core functions for the test");
    }
}

Gl& GlTestContext::makeCurrent() {
    context_->makeCurrent(surface_.get());
    return *gl_;
}

QImage GlTestContext::read(GLuint texture, int width, int height) {
    Gl& gl = makeCurrent();
    GLuint framebuffer = 0;
    gl.glGenFramebuffers(1, &framebuffer);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    gl.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    QImage image(width, height, QImage::Format_RGBA8888);
    gl.glPixelStorei(GL_PACK_ALIGNMENT, 4);
    gl.glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    gl.glDeleteFramebuffers(1, &framebuffer);
    return image.mirrored();
}

}  // namespace qm::test
