#pragma once

#include <filesystem>
#include <memory>
#include <mutex>

#include "QuillmereCore/ByteChannel.h"
#include "QuillmereCore/StreamTypes.h"

namespace qm {

// Copies a live video stream into a capture file while its reader consumes it. A failed write
// stops the copy for good without disturbing the stream; close() may come from any thread.
class RawStreamTap final : public ByteSource {
public:
    // Creates missing folders and replaces any file at `path` with the capture header; throws
    // std::system_error when the file cannot be created. Nothing is left open on failure.
    RawStreamTap(std::shared_ptr<ByteSource> source, const std::filesystem::path& path,
                 VideoCodec codec);
    ~RawStreamTap() override;
    RawStreamTap(const RawStreamTap&) = delete;
    RawStreamTap& operator=(const RawStreamTap&) = delete;

    void close() noexcept;
    // Bytes appended after the header.
    std::size_t bytesWritten() const;

protected:
    void readInto(std::span<std::uint8_t> into, std::stop_token stop) override;
    Bytes readBytes(std::size_t count, std::stop_token stop) override;

private:
    void copy(ByteView bytes);

    std::shared_ptr<ByteSource> source_;
    mutable std::mutex mutex_;
    int fd_ = -1;
    bool closed_ = false;
    std::size_t written_ = 0;
};

}  // namespace qm
