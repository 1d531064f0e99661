#pragma once

#include <cstdint>
#include <memory>

#include "QuillmereCore/ByteChannel.h"

namespace qm {

class AdbConnection;
struct AdbStreamState;

// One open ADB stream as a byte channel. Reads wait on the stream's own buffer until the bytes
// are there, the stream ends or their stop token is requested; a read of exactly one received
// payload takes it without a copy. Writes are cut into WRTE messages of the negotiated size,
// each acknowledged by the phone before the next. Dropping the last reference closes the stream.
class AdbStream final : public ByteChannel {
public:
    AdbStream(std::shared_ptr<AdbConnection> connection, std::shared_ptr<AdbStreamState> state);
    ~AdbStream() override;
    AdbStream(const AdbStream&) = delete;
    AdbStream& operator=(const AdbStream&) = delete;

    std::uint32_t localID() const noexcept;

    // Every byte until the phone ends the stream.
    Bytes readToEnd(std::stop_token stop = {});

    // Returns at once for no data, even on a closed stream.
    void write(ByteView data) override;
    // One write of several buffers back to back, cut into WRTEs as if they were one.
    void writeGathered(std::span<const ByteView> parts);
    // Drops what is buffered, fails waiting reads and writes, and queues CLSE once; returns at
    // once, whatever the link is doing.
    void close() noexcept override;

protected:
    void readInto(std::span<std::uint8_t> into, std::stop_token stop) override;
    Bytes readBytes(std::size_t count, std::stop_token stop) override;

private:
    friend class AdbConnection;

    const std::shared_ptr<AdbConnection> connection_;
    const std::shared_ptr<AdbStreamState> state_;
};

}  // namespace qm
