#pragma once

#include <cstdint>
#include <memory>

#include "QuillmereCore/ByteChannel.h"

namespace qm {

class AdbConnection;
struct AdbStreamState;

// One open ADB stream as a byte channel. Reads wait on the stream's own buffer and ignore stop
// tokens: closing the stream, or the stream's end, releases them. Writes are cut into WRTE
// messages of the negotiated size, each acknowledged by the phone before the next.
// Dropping the last reference closes the stream.
class AdbStream final : public ByteChannel {
public:
    AdbStream(std::shared_ptr<AdbConnection> connection, std::shared_ptr<AdbStreamState> state);
    ~AdbStream() override;
    AdbStream(const AdbStream&) = delete;
    AdbStream& operator=(const AdbStream&) = delete;

    std::uint32_t localID() const noexcept;

    // Hands over a received payload without copying when it is exactly the answer.
    Bytes readExactly(std::size_t count, std::stop_token stop = {});
    void readExactly(std::span<std::uint8_t> into, std::stop_token stop = {}) {
        readInto(into, std::move(stop));
    }
    // Every byte until the phone ends the stream.
    Bytes readToEnd();

    // Returns at once for no data, even on a closed stream.
    void write(ByteView data) override;
    // One write of several buffers back to back, cut into WRTEs as if they were one.
    void writeGathered(std::span<const ByteView> parts);
    // Drops what is buffered, fails waiting reads and writes, and sends CLSE once.
    void close() noexcept override;

protected:
    void readInto(std::span<std::uint8_t> into, std::stop_token stop) override;

private:
    friend class AdbConnection;

    const std::shared_ptr<AdbConnection> connection_;
    const std::shared_ptr<AdbStreamState> state_;
};

}  // namespace qm
