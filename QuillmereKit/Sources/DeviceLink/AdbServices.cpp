// The services of an AdbConnection: shell commands, file push over sync, named services.
#include <chrono>
#include <limits>
#include <optional>
#include <string>

#include "DeviceLink/AdbConnection.h"
#include "DeviceLink/AdbStreamState.h"
#include "DeviceLink/SyncProtocol.h"
#include "QuillmereCore/UnicodeText.h"

namespace qm {

namespace {

std::uint32_t secondsSince1970Now() {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    // A clock outside what the field can hold is pinned to its nearer end.
    return static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(seconds, 0, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace

std::string AdbConnection::shell(const std::string& command) {
    // Plain shell, not shell protocol 2: the bytes are the output itself, with no exit status.
    // Every stream here is closed by its handle when it goes out of scope, however we leave.
    const std::shared_ptr<AdbStream> stream = open("shell:" + command);
    ByteQueue& received = stream->state_->received;
    const std::optional<Bytes> output = received.readToEnd(
        maxShellOutput, std::chrono::steady_clock::now() + timings_.shellTimeout);
    if (!output) {
        if (received.unreadByteCount() > maxShellOutput) {
            throw AdbError::protocolViolation("shell output over " +
                                              std::to_string(maxShellOutput) + " bytes");
        }
        throw AdbError::timedOut("the phone did not finish the output of a shell command");
    }
    if (endedByTransportFailure(*stream->state_)) {
        // Cut-off output (a getprop reply missing its last lines) must not pass for the whole.
        throw AdbError::closed();
    }
    return UnicodeText::decodeUTF8(*output);
}

void AdbConnection::push(ByteView data, const std::string& path, std::uint32_t mode) {
    push(data, path, mode, secondsSince1970Now());
}

void AdbConnection::push(ByteView data, const std::string& path, std::uint32_t mode,
                         std::uint32_t mtime) {
    const std::shared_ptr<AdbStream> stream = open("sync:");
    const SyncProtocol::FileTransfer transfer(data, path, mode, mtime);
    stream->writeGathered(transfer.parts());
    const SyncProtocol::Status status =
        SyncProtocol::parseStatus(stream->readExactly(SyncProtocol::headerByteCount));
    if (status.kind == SyncProtocol::Status::Kind::okay) {
        stream->write(SyncProtocol::quit);
        return;
    }
    if (status.failureLength > SyncProtocol::maxFailureLength) {
        throw AdbError::protocolViolation("sync failure text of " +
                                          std::to_string(status.failureLength) + " bytes");
    }
    throw AdbError::syncFailed(UnicodeText::decodeUTF8(stream->readExactly(status.failureLength)));
}

std::shared_ptr<ByteChannel> AdbConnection::openService(const std::string& name,
                                                        std::stop_token stop) {
    return open(name, std::move(stop));
}

}  // namespace qm
