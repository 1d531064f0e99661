#include "VideoPipeline/PicturePool.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace qm {

PixelBuffer PicturePool::acquire(AVPixelFormat format, int width, int height) {
    const int size = av_image_get_buffer_size(format, width, height, rowAlignment);
    if (size <= 0) {
        return {};
    }
    if (!bytes_ || std::size_t(size) != size_) {
        bytes_.reset(av_buffer_pool_init(std::size_t(size), nullptr));
        size_ = bytes_ ? std::size_t(size) : 0;
    }
    PixelBuffer buffer = frames_.acquire();
    AVBufferRef* bytes = bytes_ ? av_buffer_pool_get(bytes_.get()) : nullptr;
    if (!bytes) {
        return {};
    }
    AVFrame* picture = buffer.mutableFrame();
    picture->buf[0] = bytes;
    picture->format = format;
    picture->width = width;
    picture->height = height;
    av_image_fill_arrays(picture->data, picture->linesize, bytes->data, format, width, height,
                         rowAlignment);
    return buffer;
}

}  // namespace qm
