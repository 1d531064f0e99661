#pragma once

#include <cstddef>

#include "VideoPipeline/FFmpegHandles.h"
#include "VideoPipeline/PixelBuffer.h"

namespace qm {

// Pictures in system memory for code that fills them itself (a copy from the GPU, a converted
// capture frame). Every picture of one byte size comes from one pool, so steady use allocates
// nothing. One thread at a time acquires; the pictures go anywhere.
class PicturePool {
public:
    // For vector copies and the scaler.
    static constexpr int rowAlignment = 32;

    // A picture of `format` with its planes allocated, rows aligned to `rowAlignment`; an empty
    // buffer when the size is invalid or no memory is left.
    PixelBuffer acquire(AVPixelFormat format, int width, int height);

private:
    FramePool frames_;
    BufferPoolHandle bytes_;
    std::size_t size_ = 0;
};

}  // namespace qm
