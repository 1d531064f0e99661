#include "VideoPipeline/View/PlaneTextures.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace qm {

namespace {

bool isPlanar420(int format) {
    return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P;
}

}  // namespace

PlaneTextures::PlaneTextures(Gl& gl) : gl_(gl) {
    gl_.glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize_);
}

bool PlaneTextures::upload(const AVFrame& frame) {
    const bool nv12 = frame.format == AV_PIX_FMT_NV12;
    if (!nv12 && !isPlanar420(frame.format)) {
        return false;
    }
    const int width = frame.width;
    const int height = frame.height;
    if (width < 1 || height < 1 || width > maxTextureSize_ || height > maxTextureSize_) {
        return false;
    }
    const int chromaWidth = (width + 1) / 2;
    const int chromaHeight = (height + 1) / 2;
    struct Plane {
        int bytesPerTexel;
        int width;
        int height;
    };
    const Plane planes[3] = {{1, width, height},
                             {nv12 ? 2 : 1, chromaWidth, chromaHeight},
                             {1, chromaWidth, chromaHeight}};
    const int planeCount = nv12 ? 2 : 3;
    for (int i = 0; i < planeCount; ++i) {
        const int lineSize = frame.linesize[i];
        if (!frame.data[i] || lineSize < planes[i].width * planes[i].bytesPerTexel ||
            lineSize % planes[i].bytesPerTexel != 0) {
            return false;
        }
    }
    if (!allocate(frame.format, width, height)) {
        return false;
    }
    gl_.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GlTexture* textures[3] = {&luma_, &cb_, &cr_};
    for (int i = 0; i < planeCount; ++i) {
        uploadPlane(*textures[i], frame.data[i], frame.linesize[i], planes[i].bytesPerTexel,
                    planes[i].width, planes[i].height);
    }
    gl_.glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    return true;
}

bool PlaneTextures::allocate(int format, int width, int height) {
    const bool planarBefore = isPlanar420(format_);
    if (format_ != -1 && planarBefore == isPlanar420(format) && width == width_ &&
        height == height_) {
        return true;
    }
    const bool nv12 = format == AV_PIX_FMT_NV12;
    const int chromaWidth = (width + 1) / 2;
    const int chromaHeight = (height + 1) / 2;
    luma_ = makeTexture(gl_, GL_R8, GL_RED, width, height);
    cb_ = nv12 ? makeTexture(gl_, GL_RG8, GL_RG, chromaWidth, chromaHeight)
               : makeTexture(gl_, GL_R8, GL_RED, chromaWidth, chromaHeight);
    cr_ = {};
    if (!nv12) {
        cr_ = makeTexture(gl_, GL_R8, GL_RED, chromaWidth, chromaHeight);
        // The shader reads Cr as green whatever the layout.
        gl_.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_G, GL_RED);
    }
    if (gl_.glGetError() != GL_NO_ERROR) {
        format_ = -1;
        return false;
    }
    format_ = format;
    width_ = width;
    height_ = height;
    return true;
}

void PlaneTextures::uploadPlane(const GlTexture& texture, const std::uint8_t* data, int lineSize,
                                int bytesPerTexel, int width, int height) {
    gl_.glBindTexture(GL_TEXTURE_2D, texture.id());
    gl_.glPixelStorei(GL_UNPACK_ROW_LENGTH, lineSize / bytesPerTexel);
    gl_.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, bytesPerTexel == 2 ? GL_RG : GL_RED,
                        GL_UNSIGNED_BYTE, data);
}

void PlaneTextures::bind() const {
    const GLuint chromaRed = cb_.id();
    const GLuint chromaGreen = cr_ ? cr_.id() : cb_.id();
    gl_.glActiveTexture(GL_TEXTURE0);
    gl_.glBindTexture(GL_TEXTURE_2D, luma_.id());
    gl_.glActiveTexture(GL_TEXTURE1);
    gl_.glBindTexture(GL_TEXTURE_2D, chromaRed);
    gl_.glActiveTexture(GL_TEXTURE2);
    gl_.glBindTexture(GL_TEXTURE_2D, chromaGreen);
    gl_.glActiveTexture(GL_TEXTURE0);
}

}  // namespace qm
