#include "Support/FakeAdbDevice.h"

#include <algorithm>

#include <fmt/format.h>
#include <pthread.h>

#include "QuillmereCore/TaskClock.h"

namespace qm::test {

namespace {

using Command = AdbMessage::Command;

constexpr std::string_view hostBanner = "host::features=shell_v2,cmd";

Bytes encoded(const AdbMessage& message) {
    const auto header = message.encodedHeader();
    // Sized once and filled: GCC 12 at -O3 misreads a range insert here as an overflow.
    Bytes out(header.size() + message.payload.size());
    std::copy(header.begin(), header.end(), out.begin());
    std::copy(message.payload.begin(), message.payload.end(), out.begin() + header.size());
    return out;
}

}  // namespace

FakeAdbDevice::FakeAdbDevice(std::shared_ptr<MemoryPacketTransport> end, FakeAdbScript script)
    : end_(std::move(end)),
      script_(std::move(script)),
      streams_([this](const AdbMessage& message) { send(message); },
               [this](std::string what) { violation(std::move(what)); },
               [this](const std::string& name, std::uint32_t hostID) {
                   return services_.make(name, hostID);
               },
               script_.streamFaults) {
    if (script_.fault == HandshakeFault::staleBytesPrefix) {
        end_->writeRaw(Bytes(100, 0xA5));
    }
    reader_ = std::jthread([this] { run(); });
}

FakeAdbDevice::~FakeAdbDevice() {
    end_->close();
    reader_.join();
    approvalTimer_.request_stop();
}

void FakeAdbDevice::trust(const AdbKey& key) {
    trust(key.androidPublicKey("trusted"));
}

void FakeAdbDevice::trust(ByteView publicKeyLine) {
    auto decoded = FakeAdbAuth::decodePublicKey(publicKeyLine);
    if (auto* problem = std::get_if<std::string>(&decoded)) {
        std::lock_guard lock(mutex_);
        violation("cannot trust the host key: " + *problem);
        return;
    }
    auth_.trust(std::move(std::get<FakeAdbAuth::PublicKey>(decoded).key));
}

std::optional<Bytes> FakeAdbDevice::pendingKey() const {
    std::lock_guard lock(mutex_);
    return phase_ == Phase::awaitingApproval ? std::optional(pendingKey_->line) : std::nullopt;
}

bool FakeAdbDevice::approvePendingKey() {
    std::lock_guard lock(mutex_);
    if (phase_ != Phase::awaitingApproval) {
        return false;
    }
    approveLocked();
    return true;
}

void FakeAdbDevice::dropLink() {
    end_->close();
}

void FakeAdbDevice::dropLinkMidMessage() {
    std::lock_guard lock(mutex_);
    const auto header = AdbMessage(Command::wrte, 1, 1, Bytes(16, 0)).encodedHeader();
    sendRaw(ByteView(header).first(10));
    end_->close();
}

bool FakeAdbDevice::closeStream(std::uint32_t hostID) {
    std::lock_guard lock(mutex_);
    return streams_.closeFromPhone(hostID);
}

bool FakeAdbDevice::sendOnStream(std::uint32_t hostID, Bytes data) {
    std::lock_guard lock(mutex_);
    return streams_.sendFromPhone(hostID, std::move(data));
}

bool FakeAdbDevice::finishStream(std::uint32_t hostID) {
    std::lock_guard lock(mutex_);
    return streams_.finishFromPhone(hostID);
}

void FakeAdbDevice::withholdOkays() {
    std::lock_guard lock(mutex_);
    streams_.withholdOkays();
}

void FakeAdbDevice::sendGarbage(ByteView bytes) {
    std::lock_guard lock(mutex_);
    sendRaw(bytes);
}

void FakeAdbDevice::releaseWithheldOkays() {
    std::lock_guard lock(mutex_);
    streams_.releaseWithheldOkays();
}

std::optional<PhoneStreamProgress> FakeAdbDevice::progressOn(std::uint32_t hostID) const {
    std::lock_guard lock(mutex_);
    return streams_.progressOn(hostID);
}

bool FakeAdbDevice::isConnected() const {
    std::lock_guard lock(mutex_);
    return phase_ == Phase::connected;
}

std::vector<std::string> FakeAdbDevice::violations() const {
    std::lock_guard lock(mutex_);
    return violations_;
}

std::vector<SeenMessage> FakeAdbDevice::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::string> FakeAdbDevice::openedServices() const {
    std::lock_guard lock(mutex_);
    return streams_.openedServices();
}

std::size_t FakeAdbDevice::openStreamCount() const {
    std::lock_guard lock(mutex_);
    return streams_.openCount();
}

std::size_t FakeAdbDevice::tokensSent() const {
    std::lock_guard lock(mutex_);
    return tokensSent_;
}

std::vector<std::string> FakeAdbDevice::offeredKeyComments() const {
    std::lock_guard lock(mutex_);
    return offeredComments_;
}

void FakeAdbDevice::run() {
    pthread_setname_np(pthread_self(), "phone.adb");
    while (true) {
        AdbMessage message;
        AdbHeader header;
        try {
            message = end_->read(header);
        } catch (const AdbError& error) {
            std::lock_guard lock(mutex_);
            if (error.kind() == AdbErrorKind::protocolViolation) {
                violation("host sent a malformed message: " + error.message());
            }
            streams_.linkLost();
            return;
        } catch (const ByteIOError&) {
            std::lock_guard lock(mutex_);
            streams_.linkLost();  // the host closed the link
            return;
        }
        std::lock_guard lock(mutex_);
        received_.push_back({message.command, message.arg0, message.arg1, message.payload.size()});
        // A daemon older than 0x01000001 checks every payload's sum; later ones ignore it.
        if (script_.version < AdbProtocolConstants::version &&
            header.dataChecksum != AdbMessage::legacyChecksum(message.payload)) {
            violation(fmt::format("host {} carries the checksum 0x{:08x}, not 0x{:08x}",
                                  commandName(message.command), header.dataChecksum,
                                  AdbMessage::legacyChecksum(message.payload)));
        }
        handle(message);
    }
}

void FakeAdbDevice::handle(const AdbMessage& message) {
    const std::string name(commandName(message.command));
    switch (phase_) {
        case Phase::awaitingConnect:
            if (message.command == Command::cnxn) {
                onConnect(message);
            } else {
                violation("host sent " + name + " before its CNXN");
            }
            return;
        case Phase::authenticating:
            if (message.command == Command::auth) {
                onAuth(message);
            } else {
                violation("host sent " + name + " during the handshake");
            }
            return;
        case Phase::awaitingApproval:
            violation("host sent " + name + " while the phone waits for its user");
            return;
        case Phase::connected:
            if (message.command == Command::wrte && script_.streamFaults.dropLinkAfterHostBytes) {
                hostStreamBytes_ += message.payload.size();
                if (hostStreamBytes_ >= *script_.streamFaults.dropLinkAfterHostBytes) {
                    phase_ = Phase::broken;
                    end_->close();
                    return;
                }
            }
            streams_.handle(message);
            return;
        case Phase::broken:
            violation("host sent " + name + " after the phone broke the protocol");
            return;
    }
}

void FakeAdbDevice::onConnect(const AdbMessage& message) {
    if (message.arg0 != AdbProtocolConstants::version) {
        violation(fmt::format("host CNXN version is 0x{:08x}", message.arg0));
    }
    if (message.arg1 != AdbProtocolConstants::maxPayload) {
        violation(fmt::format("host CNXN max payload is {}", message.arg1));
    }
    if (asText(message.payload) != hostBanner) {
        violation("host banner is \"" + std::string(asText(message.payload)) + "\"");
    }
    hostMaxPayload_ = message.arg1;
    phase_ = Phase::authenticating;
    if (script_.fault && *script_.fault != HandshakeFault::staleBytesPrefix) {
        injectFault(*script_.fault);
    } else {
        sendToken();
    }
}

void FakeAdbDevice::onAuth(const AdbMessage& message) {
    if (message.arg1 != 0) {
        violation(fmt::format("host AUTH has arg1 {}", message.arg1));
    }
    switch (message.arg0) {
        case AdbMessage::authSignature:
            if (auth_.verify(token_, message.payload)) {
                sendConnect();
            } else {
                sendToken();
            }
            return;
        case AdbMessage::authPublicKey:
            onPublicKey(message);
            return;
        default:
            violation(fmt::format("host sent AUTH of type {}", message.arg0));
    }
}

void FakeAdbDevice::onPublicKey(const AdbMessage& message) {
    auto decoded = FakeAdbAuth::decodePublicKey(message.payload);
    if (auto* problem = std::get_if<std::string>(&decoded)) {
        // A phone shows no dialog for such a key, and the host waits in vain.
        violation("host offered a bad public key: " + *problem);
        return;
    }
    pendingKey_ = std::move(std::get<FakeAdbAuth::PublicKey>(decoded));
    offeredComments_.push_back(pendingKey_->comment);
    phase_ = Phase::awaitingApproval;
    switch (script_.approval) {
        case FakeAdbScript::Approval::immediately:
            approveLocked();
            return;
        case FakeAdbScript::Approval::afterDelay:
            approvalTimer_ =
                std::jthread([this](std::stop_token stop) { approveAfterDelay(stop); });
            return;
        case FakeAdbScript::Approval::refuse:
            pendingKey_.reset();
            phase_ = Phase::authenticating;
            sendToken();
            return;
        case FakeAdbScript::Approval::onSignal:
        case FakeAdbScript::Approval::never:
            return;
    }
}

void FakeAdbDevice::approveAfterDelay(std::stop_token stop) {
    pthread_setname_np(pthread_self(), "phone.approval");
    script_.approvalClock.sleep(script_.approvalDelay, stop);
    if (stop.stop_requested()) {
        return;
    }
    std::lock_guard lock(mutex_);
    if (phase_ == Phase::awaitingApproval) {
        approveLocked();
    }
}

void FakeAdbDevice::approveLocked() {
    auth_.trust(std::move(pendingKey_->key));
    pendingKey_.reset();
    sendConnect();
}

void FakeAdbDevice::sendToken() {
    token_ = FakeAdbAuth::newToken();
    ++tokensSent_;
    send(AdbMessage(Command::auth, AdbMessage::authToken, 0, token_));
}

void FakeAdbDevice::sendConnect() {
    phase_ = Phase::connected;
    streams_.setPayloadLimit(std::min(hostMaxPayload_, script_.maxPayload));
    send(AdbMessage(Command::cnxn, script_.version, script_.maxPayload, toBytes(script_.banner)));
}

void FakeAdbDevice::injectFault(HandshakeFault fault) {
    const AdbMessage token(Command::auth, AdbMessage::authToken, 0, FakeAdbAuth::newToken());
    phase_ = Phase::broken;
    switch (fault) {
        case HandshakeFault::badMagic: {
            Bytes bytes = encoded(token);
            std::copy_n(bytes.begin(), 4, bytes.begin() + 20);
            sendRaw(bytes);
            return;
        }
        case HandshakeFault::unknownCommand: {
            Bytes bytes = encoded(AdbMessage(Command::okay, 0, 0));
            const std::uint32_t word = 0x54534554;  // "TEST"
            for (int i = 0; i < 4; ++i) {
                bytes[i] = static_cast<std::uint8_t>(word >> (8 * i));
                bytes[20 + i] = static_cast<std::uint8_t>(~word >> (8 * i));
            }
            sendRaw(bytes);
            return;
        }
        case HandshakeFault::oversizedPayload:
            send(AdbMessage(Command::auth, AdbMessage::authToken, 0,
                            Bytes(AdbProtocolConstants::maxPayload + 1, 0x5A)));
            return;
        case HandshakeFault::stls:
            send(AdbMessage(Command::stls, 0x01000000, 0));
            return;
        case HandshakeFault::openDuringHandshake:
            send(AdbMessage(Command::open, 1, 0, toBytes(std::string_view("shell:\0", 7))));
            return;
        case HandshakeFault::wrongAuthType:
            send(AdbMessage(Command::auth, AdbMessage::authSignature, 0, token.payload));
            return;
        case HandshakeFault::shortToken:
            send(AdbMessage(Command::auth, AdbMessage::authToken, 0,
                            Bytes(token.payload.begin(), token.payload.begin() + 19)));
            return;
        case HandshakeFault::strayOkay:
            phase_ = Phase::authenticating;
            send(AdbMessage(Command::okay, 1, 1));
            sendToken();
            return;
        case HandshakeFault::dropLink:
            end_->close();
            return;
        case HandshakeFault::dropMidMessage:
            sendRaw(ByteView(encoded(token)).first(10));
            end_->close();
            return;
        case HandshakeFault::staleBytesPrefix:
            return;
    }
}

void FakeAdbDevice::send(const AdbMessage& message) {
    try {
        end_->write(message);
    } catch (const AdbError&) {
        // The link is down; the host learns of it by its own reads.
    } catch (const ByteIOError&) {
    }
}

void FakeAdbDevice::sendRaw(ByteView bytes) {
    try {
        end_->writeRaw(bytes);
    } catch (const AdbError&) {
        // The link is down; the host learns of it by its own reads.
    } catch (const ByteIOError&) {
    }
}

// Called with the mutex held.
void FakeAdbDevice::violation(std::string what) {
    violations_.push_back(std::move(what));
}

}  // namespace qm::test
