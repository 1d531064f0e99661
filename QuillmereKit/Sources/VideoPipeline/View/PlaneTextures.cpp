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
    const std::size_t next = (current_ + 1) % setCount;
    Set& set = sets_[next];
    if (!allocate(set, frame.format, width, height)) {
        return false;
    }
    gl_.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GlTexture* textures[3] = {&set.luma, &set.cb, &set.cr};
    for (int i = 0; i < planeCount; ++i) {
        uploadPlane(*textures[i], frame.data[i], frame.linesize[i], planes[i].bytesPerTexel,
                    planes[i].width, planes[i].height);
    }
    gl_.glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    current_ = next;
    return true;
}

bool PlaneTextures::allocate(Set& set, int format, int width, int height) {
    if (set.format != -1 && isPlanar420(set.format) == isPlanar420(format) && width == set.width &&
        height == set.height) {
        return true;
    }
    const bool nv12 = format == AV_PIX_FMT_NV12;
    const int chromaWidth = (width + 1) / 2;
    const int chromaHeight = (height + 1) / 2;
    set.luma = makeTexture(gl_, GL_R8, GL_RED, width, height);
    set.cb = nv12 ? makeTexture(gl_, GL_RG8, GL_RG, chromaWidth, chromaHeight)
                  : makeTexture(gl_, GL_R8, GL_RED, chromaWidth, chromaHeight);
    set.cr = {};
    if (!nv12) {
        set.cr = makeTexture(gl_, GL_R8, GL_RED, chromaWidth, chromaHeight);
        // The shader reads Cr as green whatever the layout.
        gl_.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_G, GL_RED);
    }
    if (gl_.glGetError() != GL_NO_ERROR) {
        set.format = -1;
        return false;
    }
    set.format = format;
    set.width = width;
    set.height = height;
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
    const Set& set = sets_[current_];
    const GLuint chromaRed = set.cb.id();
    const GLuint chromaGreen = set.cr ? set.cr.id() : set.cb.id();
    gl_.glActiveTexture(GL_TEXTURE0);
    gl_.glBindTexture(GL_TEXTURE_2D, set.luma.id());
    gl_.glActiveTexture(GL_TEXTURE1);
    gl_.glBindTexture(GL_TEXTURE_2D, chromaRed);
    gl_.glActiveTexture(GL_TEXTURE2);
    gl_.glBindTexture(GL_TEXTURE_2D, chromaGreen);
    gl_.glActiveTexture(GL_TEXTURE0);
}

}  // namespace qm
