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

Bytes AdbStream::readExactly(std::size_t count, std::stop_token) {
    return state_->buffer.readExactly(count);
}

Bytes AdbStream::readToEnd() {
    return state_->buffer.readToEnd();
}

void AdbStream::readInto(std::span<std::uint8_t> into, std::stop_token) {
    state_->buffer.readExactly(into);
}

void AdbStream::write(ByteView data) {
    writeGathered(std::span(&data, 1));
}

void AdbStream::writeGathered(std::span<const ByteView> parts) {
    if (std::any_of(parts.begin(), parts.end(), [](ByteView part) { return !part.empty(); })) {
        connection_->send(*state_, parts);
    }
}

void AdbStream::close() noexcept {
    // The buffer first, so that a read under way fails at once.
    state_->buffer.finish(ByteIOErrorKind::closed);
    connection_->closeStream(*state_);
}

}  // namespace qm
