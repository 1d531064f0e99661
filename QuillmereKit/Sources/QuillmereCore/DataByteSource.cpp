#include "QuillmereCore/DataByteSource.h"

#include <algorithm>

namespace qm {

std::size_t DataByteSource::remaining() const {
    std::lock_guard lock(mutex_);
    return data_.size() - offset_;
}

void DataByteSource::readInto(std::span<std::uint8_t> into, std::stop_token) {
    std::lock_guard lock(mutex_);
    const ByteView bytes = take(into.size());
    std::copy(bytes.begin(), bytes.end(), into.begin());
}

Bytes DataByteSource::readBytes(std::size_t count, std::stop_token) {
    std::lock_guard lock(mutex_);
    const ByteView bytes = take(count);
    return Bytes(bytes.begin(), bytes.end());
}

ByteView DataByteSource::take(std::size_t count) {
    if (data_.size() - offset_ < count) {
        throw ByteIOError::endOfStream();
    }
    const ByteView bytes = ByteView(data_).subspan(offset_, count);
    offset_ += count;
    return bytes;
}

}  // namespace qm
