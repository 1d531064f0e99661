#include "DeviceLink/AdbConnection.h"

#include <algorithm>

#include <pthread.h>

#include "DeviceLink/AdbStreamState.h"
#include "QuillmereCore/Log.h"

namespace qm {

namespace {

using Command = AdbMessage::Command;

const Bytes& connectPayload() {
    static const Bytes payload = toBytes("host::features=shell_v2,cmd");
    return payload;
}

}  // namespace

std::shared_ptr<AdbConnection> AdbConnection::create(std::shared_ptr<AdbPacketTransport> transport,
                                                     std::shared_ptr<const AdbKey> key,
                                                     std::string hostName,
                                                     TransportFailureHandler onTransportFailure,
                                                     AdbConnectionTimings timings) {
    return std::make_shared<AdbConnection>(PrivateTag{}, std::move(transport), std::move(key),
                                           std::move(hostName), std::move(onTransportFailure),
                                           timings);
}

AdbConnection::AdbConnection(PrivateTag, std::shared_ptr<AdbPacketTransport> transport,
                             std::shared_ptr<const AdbKey> key, std::string hostName,
                             TransportFailureHandler onTransportFailure,
                             AdbConnectionTimings timings)
    : transport_(std::move(transport)),
      key_(std::move(key)),
      hostName_(std::move(hostName)),
      onTransportFailure_(std::move(onTransportFailure)),
      timings_(timings) {}

AdbConnection::~AdbConnection() {
    close();
    for (std::jthread* thread : {&reader_, &writer_}) {
        if (thread->joinable()) {
            thread->join();
        }
    }
}

std::optional<DeviceBanner> AdbConnection::banner() const {
    std::lock_guard lock(mutex_);
    return banner_;
}

DeviceBanner AdbConnection::connect(const std::function<void()>& onAwaitingUserApproval) {
    {
        std::lock_guard lock(mutex_);
        if (isClosed_) {
            throw AdbError::closed();
        }
        if (connectStarted_) {
            throw std::logic_error("AdbConnection::connect runs once per connection");
        }
        connectStarted_ = true;
    }
    transport_->drainPending(timings_.drainIdle);
    transport_->write(AdbMessage(Command::cnxn, AdbProtocolConstants::version,
                                 AdbProtocolConstants::maxPayload, connectPayload()));
    bool signatureSent = false;
    bool publicKeySent = false;
    while (true) {
        const AdbMessage message = transport_->read();
        switch (message.command) {
            case Command::cnxn:
                return accept(message);
            case Command::auth:
                answerAuth(message, signatureSent, publicKeySent, onAwaitingUserApproval);
                break;
            case Command::okay:
            case Command::clse:
            case Command::wrte:
                Log::adb().debug("ignoring {} during handshake", commandName(message.command));
                break;
            case Command::open:
                throw AdbError::protocolViolation("unexpected open during handshake");
            case Command::stls:
                throw AdbError::protocolViolation(
                    "device requested TLS (STLS); only plain USB is supported");
        }
    }
}

void AdbConnection::answerAuth(const AdbMessage& message, bool& signatureSent, bool& publicKeySent,
                               const std::function<void()>& onAwaitingUserApproval) {
    if (message.arg0 != AdbMessage::authToken) {
        throw AdbError::protocolViolation("unexpected AUTH type " + std::to_string(message.arg0) +
                                          " from device");
    }
    if (message.payload.size() != AdbKey::tokenByteCount) {
        throw AdbError::protocolViolation(
            "AUTH token is " + std::to_string(message.payload.size()) + " bytes, expected 20");
    }
    if (!signatureSent) {
        transport_->write(
            AdbMessage(Command::auth, AdbMessage::authSignature, 0, key_->sign(message.payload)));
        signatureSent = true;
        return;
    }
    if (publicKeySent) {
        throw AdbError::authRejected();
    }
    transport_->write(
        AdbMessage(Command::auth, AdbMessage::authPublicKey, 0, key_->androidPublicKey(hostName_)));
    Log::adb().info("waiting for the user to allow USB debugging on the phone");
    if (onAwaitingUserApproval) {
        onAwaitingUserApproval();
    }
    publicKeySent = true;
}

DeviceBanner AdbConnection::accept(const AdbMessage& message) {
    DeviceBanner banner = DeviceBanner::parse(message.payload);
    if (message.arg1 == 0) {
        throw AdbError::protocolViolation("device advertised maxPayload 0");
    }
    const std::size_t negotiated = std::min(message.arg1, AdbProtocolConstants::maxPayload);
    {
        std::lock_guard lock(mutex_);
        if (isClosed_) {
            throw AdbError::closed();
        }
        maxPayload_.store(negotiated);
        banner_ = banner;
        reader_ = std::jthread([this] { readLoop(); });
        writer_ = std::jthread([this] { writeLoop(); });
    }
    Log::adb().info("connected: {}, version {:x}, maxPayload {}", banner.state, message.arg0,
                    negotiated);
    return banner;
}

void AdbConnection::close() noexcept {
    std::unique_lock lock(mutex_);
    if (isClosed_) {
        return;
    }
    isClosed_ = true;
    terminateAll(lock, ByteIOErrorKind::closed, false);
    lock.unlock();
    // The pending read and any write under way fail now and find the connection closed.
    transport_->close();
}

void AdbConnection::readLoop() {
    pthread_setname_np(pthread_self(), "adb.read");
    while (true) {
        try {
            dispatch(transport_->read());
        } catch (...) {
            // Out of memory for a stalled reader's backlog ends the link like a pulled cable
            // instead of the process.
            transportFailed(std::current_exception());
            return;
        }
    }
}

void AdbConnection::writeLoop() {
    pthread_setname_np(pthread_self(), "adb.write");
    std::unique_lock lock(mutex_);
    while (true) {
        writerWake_.wait(lock,
                         [&] { return isClosed_ || !control_.empty() || !pendingWrites_.empty(); });
        if (isClosed_) {
            return;
        }
        const AdbMessage* writing = nullptr;
        std::shared_ptr<AdbStreamState> stream;
        try {
            if (!control_.empty()) {
                std::swap(control_, controlBatch_);
                lock.unlock();
                for (const AdbMessage& message : controlBatch_) {
                    writing = &message;
                    transport_->write(message);
                }
                controlBatch_.clear();
                lock.lock();
                continue;
            }
            stream = std::move(pendingWrites_.front());
            pendingWrites_.pop_front();
            if (!stream->terminated && !stream->closeQueued) {
                lock.unlock();
                writing = &stream->outgoing;
                transport_->write(stream->outgoing);
                lock.lock();
            }
            stream->writeQueued = false;
            stream->changed.notify_all();
        } catch (...) {
            // A write that does not end in time is a wedged phone: treated as a pulled cable.
            if (lock.owns_lock()) {
                lock.unlock();
            }
            if (writing != nullptr) {
                writeFailed(*writing, stream, std::current_exception());
            }
            transportFailed(std::current_exception());
            return;
        }
    }
}

void AdbConnection::transportFailed(std::exception_ptr error) {
    {
        std::unique_lock lock(mutex_);
        if (isClosed_) {
            return;  // the failure of a close already under way
        }
        isClosed_ = true;
        // Raised before any stream ends, so that a reader who sees its stream end can tell a
        // cut from a clean end.
        transportFailed_.store(true);
        terminateAll(lock, ByteIOErrorKind::endOfStream, true);
    }
    Log::adb().error("transport failed: {}", describe(error));
    if (onTransportFailure_) {
        onTransportFailure_(error);
    }
    transport_->close();
}

}  // namespace qm
