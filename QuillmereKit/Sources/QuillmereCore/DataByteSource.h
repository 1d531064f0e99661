#pragma once

#include <mutex>

#include "QuillmereCore/ByteChannel.h"

namespace qm {

// A read-only source over a finished buffer; it never waits.
class DataByteSource final : public ByteSource {
public:
    explicit DataByteSource(Bytes data) : owned_(std::move(data)), data_(owned_) {}

    // Reads `data` where it lies, which must stay alive and unchanged while the source is used.
    static DataByteSource viewing(ByteView data) { return DataByteSource(View{data}); }

    std::size_t remaining() const;

protected:
    void readInto(std::span<std::uint8_t> into, std::stop_token stop) override;
    Bytes readBytes(std::size_t count, std::stop_token stop) override;

private:
    struct View {
        ByteView data;
    };
    explicit DataByteSource(View view) : data_(view.data) {}

    // The next `count` bytes, consumed; throws endOfStream, consuming nothing, when they are not
    // all there.
    ByteView take(std::size_t count);

    mutable std::mutex mutex_;
    Bytes owned_;
    ByteView data_;
    std::size_t offset_ = 0;
};

}  // namespace qm
