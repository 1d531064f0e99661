#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <utility>

#include "DeviceLink/AdbPacketTransport.h"
#include "QuillmereCore/ByteChannel.h"

namespace qm::test {

// One end of an in-memory ADB link. Messages travel as their wire bytes, so each read decodes
// and checks a header as a USB transport does, and an end can also send bytes that are not a
// well-formed message. Each write keeps its boundaries, as USB transfers do: a header, a
// payload, a run of raw bytes. Closing an end is a pulled cable for the other: its reads get
// what was already sent, then ByteIOError endOfStream; its writes fail with endOfStream.
class MemoryPacketTransport final : public AdbPacketTransport {
public:
    // The host end refuses payloads above the host's limit; the device end those above
    // `deviceLimit`.
    static std::pair<std::shared_ptr<MemoryPacketTransport>, std::shared_ptr<MemoryPacketTransport>>
    makePair(std::uint32_t deviceLimit = 0x100000);

    void write(const AdbMessage& message) override;
    AdbMessage read() override;
    // The same, with the header as it came.
    AdbMessage read(AdbHeader& header);
    void close() noexcept override;
    void drainPending(std::chrono::nanoseconds idle) override;

    // Bytes as they are, for faults: a broken header, a message cut short, stale leftovers;
    // and for a fake USB pipe, which moves bytes and knows nothing of messages.
    void writeRaw(ByteView bytes);

    enum class RawOutcome { data, timedOut, closed, linkGone };
    struct RawRead {
        RawOutcome outcome = RawOutcome::data;
        std::size_t count = 0;
    };
    // As many bytes as are there, up to `into`'s size and never past the end of one write, once
    // there is at least one; a zero `timeout` waits without limit. closed: this end was closed;
    // linkGone: the other end was, and everything it sent has been read.
    RawRead readRaw(std::span<std::uint8_t> into, std::chrono::milliseconds timeout);
    std::size_t drainedByteCount() const;
    // Sent to this end and not read yet: whether anything came, without waiting for it.
    std::size_t pendingByteCount() const;
    // Waits until the other end has taken everything this end sent or waits for more than
    // there is, or either end is gone: lets a scripted peer hand over one message at a time.
    void awaitTaken();

    class Pipe;
    MemoryPacketTransport(std::shared_ptr<Pipe> inbound, std::shared_ptr<Pipe> outbound,
                          std::uint32_t limit);

private:
    void readExactly(std::span<std::uint8_t> into);
    // Hands `take` a view of the next `count` bytes, under the pipe's lock.
    template <typename Take>
    void readExactly(std::size_t count, Take take);
    void send(ByteView header, ByteView payload);

    std::shared_ptr<Pipe> inbound_;
    std::shared_ptr<Pipe> outbound_;
    const std::uint32_t limit_;
    std::mutex readMutex_;  // whole messages per reader
    std::size_t drained_ = 0;
};

}  // namespace qm::test
