#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>

#include "QuillmereCore/ByteChannel.h"
#include "QuillmereCore/StreamTypes.h"

namespace qm {

// Copies a live video stream into a capture file while its reader consumes it. A failed write
// stops the copy for good without disturbing the stream. close() may come from any thread and
// never waits for a write under way (a slow disk): that write's reader closes the file after it.
class RawStreamTap final : public ByteSource {
public:
    // Launches beyond this many of one stream share no capture.
    static constexpr int maxNumber = 999;

    // Creates missing folders (0700) and a new file with the capture header at `path`, or, when
    // that name is taken, at the first free numbered() name; throws std::system_error when none
    // can be created. Nothing is left open or behind on failure.
    RawStreamTap(std::shared_ptr<ByteSource> source, const std::filesystem::path& path,
                 VideoCodec codec);
    ~RawStreamTap() override;
    RawStreamTap(const RawStreamTap&) = delete;
    RawStreamTap& operator=(const RawStreamTap&) = delete;

    void close() noexcept;
    // Closes and deletes the capture, for a stream that never played.
    void discard() noexcept;
    // Bytes appended after the header.
    std::size_t bytesWritten() const;
    // The file being written.
    const std::filesystem::path& path() const noexcept { return path_; }

    // `path` itself for 0, else "name-1.ext", "name-2.ext"...: how captures avoid a taken name.
    static std::filesystem::path numbered(const std::filesystem::path& path, int number);

protected:
    void readInto(std::span<std::uint8_t> into, std::stop_token stop) override;
    Bytes readBytes(std::size_t count, std::stop_token stop) override;

private:
    void copy(ByteView bytes);
    void closeFile() noexcept;  // under the lock

    std::shared_ptr<ByteSource> source_;
    std::filesystem::path path_;
    std::atomic<bool> closing_ = false;
    std::atomic<std::size_t> written_ = 0;
    std::mutex mutex_;  // held by each write
    int fd_ = -1;
};

}  // namespace qm
