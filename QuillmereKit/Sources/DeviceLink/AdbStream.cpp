#include "DeviceLink/AdbStream.h"

#include <algorithm>

#include "DeviceLink/AdbConnection.h"
#include "DeviceLink/AdbStreamState.h"

namespace qm {

AdbStream::AdbStream(std::shared_ptr<AdbConnection> connection,
                     std::shared_ptr<AdbStreamState> state)
    : connection_(std::move(connection)), state_(std::move(state)) {}

AdbStream::~AdbStream() {
    close();
}

std::uint32_t AdbStream::localID() const noexcept {
    return state_->localID;
}

// A zero-byte read asks nothing of the stream, so it succeeds also once the stream has ended.
Bytes AdbStream::readBytes(std::size_t count, std::stop_token stop) {
    if (count == 0) {
        return {};
    }
    return state_->received.readExactly(count, std::move(stop));
}

Bytes AdbStream::readToEnd(std::stop_token stop) {
    return state_->received.readToEnd(std::move(stop));
}

void AdbStream::readInto(std::span<std::uint8_t> into, std::stop_token stop) {
    if (!into.empty()) {
        state_->received.readExactly(into, std::move(stop));
    }
}

void AdbStream::write(ByteView data) {
    writeGathered(std::span(&data, 1));
}

void AdbStream::writeGathered(std::span<const ByteView> parts) {
    if (std::any_of(parts.begin(), parts.end(), [](ByteView part) { return !part.empty(); })) {
        connection_->send(state_, parts);
    }
}

void AdbStream::close() noexcept {
    connection_->closeStream(*state_);
}

}  // namespace qm
