#include "QuillmereCore/DataByteSource.h"

#include <algorithm>

namespace qm {

std::size_t DataByteSource::remaining() const {
    std::lock_guard lock(mutex_);
    return data_.size() - offset_;
}

void DataByteSource::readInto(std::span<std::uint8_t> into, std::stop_token) {
    std::lock_guard lock(mutex_);
    if (data_.size() - offset_ < into.size()) {
        throw ByteIOError::endOfStream();
    }
    std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(offset_), into.size(), into.begin());
    offset_ += into.size();
}

}  // namespace qm
