#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "QuillmereCore/MemoryByteChannel.h"

namespace qm {

// The shell stream that runs the device server. A thread of its own reads the server's output
// as it comes, keeps its first 64 KiB for diagnosis and passes every byte on to whoever reads
// this channel. Writes go to the shell's input.
class ServerLogChannel final : public ByteChannel {
public:
    static constexpr std::size_t capturedLimit = 65536;

    explicit ServerLogChannel(std::shared_ptr<ByteChannel> raw);
    // Closes the shell stream and joins the reader.
    ~ServerLogChannel() override;
    ServerLogChannel(const ServerLogChannel&) = delete;
    ServerLogChannel& operator=(const ServerLogChannel&) = delete;

    // The captured output once the shell stream has ended, decoded with U+FFFD; none before.
    std::optional<std::string> finishedOutput() const;
    // The captured output so far, ended or not.
    std::string outputSoFar() const;
    // The finished output as soon as there is one, or after `timeout` what there is by then.
    std::string outputAfterExit(std::chrono::nanoseconds timeout) const;

    void write(ByteView data) override;
    // Closes the shell stream; readers get what was mirrored, then endOfStream.
    void close() noexcept override;

protected:
    void readInto(std::span<std::uint8_t> into, std::stop_token stop) override;

private:
    void mirror();

    const std::shared_ptr<ByteChannel> raw_;
    MemoryByteChannel mirror_;

    mutable std::mutex mutex_;
    mutable std::condition_variable finishedChanged_;
    Bytes captured_;
    bool finished_ = false;

    std::jthread reader_;  // last: started once the state above exists
};

}  // namespace qm
