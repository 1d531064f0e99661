#pragma once

#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <memory>

#include "VideoPipeline/View/GlObjects.h"

namespace qm::test {

// An OpenGL 3.3 context of the shared group for tests that look at textures themselves. A
// renderer makes its own context current, so call makeCurrent() again after using one.
class GlTestContext {
public:
    GlTestContext();
    Gl& makeCurrent();

    // The texture's pixels, top row first, for textures rendered the OpenGL way up.
    QImage read(GLuint texture, int width, int height);

private:
    std::unique_ptr<QOffscreenSurface> surface_;
    std::unique_ptr<QOpenGLContext> context_;
    Gl* gl_ = nullptr;
};

}  // namespace qm::test
