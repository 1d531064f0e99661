#include "QuillmereCore/MemoryByteChannel.h"

namespace qm {

Bytes MemoryByteChannel::written() const {
    std::lock_guard lock(mutex_);
    return written_;
}

void MemoryByteChannel::write(ByteView data) {
    std::lock_guard lock(mutex_);
    if (closed_) {
        throw ByteIOError::closed();
    }
    written_.insert(written_.end(), data.begin(), data.end());
}

void MemoryByteChannel::close() noexcept {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    input_.close();
}

}  // namespace qm
