// The stream layer of AdbConnection: opening, flow-controlled writes, the reader's dispatch,
// and the ends of streams.
#include <algorithm>

#include "DeviceLink/AdbConnection.h"
#include "DeviceLink/AdbStreamState.h"
#include "QuillmereCore/Log.h"

namespace qm {

namespace {

using Command = AdbMessage::Command;

// Releases the lock for a blocking call and takes it back however the call ends.
class Unlocked {
public:
    explicit Unlocked(std::unique_lock<std::mutex>& lock) : lock_(lock) { lock_.unlock(); }
    ~Unlocked() { lock_.lock(); }
    Unlocked(const Unlocked&) = delete;
    Unlocked& operator=(const Unlocked&) = delete;

private:
    std::unique_lock<std::mutex>& lock_;
};

}  // namespace

struct AdbConnection::PendingOpen {
    explicit PendingOpen(std::string name) : service(std::move(name)) {}

    const std::string service;
    bool answered = false;
    std::shared_ptr<AdbStreamState> stream;  // when accepted
    std::exception_ptr failure;              // when not
};

std::shared_ptr<AdbStream> AdbConnection::open(const std::string& service) {
    std::unique_lock lock(mutex_);
    if (!banner_ || isClosed_) {
        throw AdbError::closed();
    }
    const std::uint32_t id = nextLocalID_;
    nextLocalID_ = id == 0xFFFFFFFF ? 1 : id + 1;
    // Registered before the OPEN goes out: the answer may overtake the rest of this call.
    const auto pending = std::make_shared<PendingOpen>(service);
    pendingOpens_[id] = pending;
    lock.unlock();

    const ByteView name = asBytes(service);
    Bytes payload;
    payload.reserve(name.size() + 1);
    payload.assign(name.begin(), name.end());
    payload.push_back(0);
    try {
        transport_->write(AdbMessage(Command::open, id, 0, std::move(payload)));
    } catch (...) {
        lock.lock();
        if (const auto it = pendingOpens_.find(id);
            it != pendingOpens_.end() && it->second == pending) {
            pendingOpens_.erase(it);
        } else if (const auto open = streams_.find(id);
                   pending->stream && open != streams_.end() && open->second == pending->stream) {
            // The phone's OKAY overtook the failed write: nobody will own this stream.
            streams_.erase(open);
            terminate(*pending->stream, ByteIOErrorKind::closed, false);
        }
        throw;
    }

    lock.lock();
    openAnswered_.wait(lock, [&] { return pending->answered; });
    if (pending->failure) {
        std::rethrow_exception(pending->failure);
    }
    lock.unlock();
    return std::make_shared<AdbStream>(shared_from_this(), pending->stream);
}

void AdbConnection::send(AdbStreamState& stream, std::span<const ByteView> parts) {
    std::unique_lock lock(mutex_);
    if (stream.terminated) {
        throw ByteIOError::closed();
    }
    // Sends of one stream go out whole, one after the other, in the order they came.
    const std::uint64_t turn = stream.nextTurn++;
    stream.changed.wait(lock, [&] { return stream.terminated || stream.servingTurn == turn; });
    try {
        sendChunks(lock, stream, parts);
    } catch (...) {
        ++stream.servingTurn;
        stream.changed.notify_all();
        throw;
    }
    ++stream.servingTurn;
    stream.changed.notify_all();
}

void AdbConnection::sendChunks(std::unique_lock<std::mutex>& lock, AdbStreamState& stream,
                               std::span<const ByteView> parts) {
    std::size_t remaining = 0;
    for (const ByteView part : parts) {
        remaining += part.size();
    }
    const std::size_t limit = maxPayload();
    AdbMessage message(Command::wrte, stream.localID, stream.remoteID);
    message.payload.reserve(std::min(limit, remaining));
    std::size_t part = 0;
    std::size_t offset = 0;  // into parts[part]
    while (remaining > 0) {
        if (stream.terminated) {
            throw ByteIOError::closed();
        }
        message.payload.resize(std::min(limit, remaining));
        for (auto at = message.payload.begin(); at != message.payload.end();) {
            const ByteView rest = parts[part].subspan(offset);
            const std::size_t take =
                std::min(rest.size(), static_cast<std::size_t>(message.payload.end() - at));
            at = std::copy_n(rest.begin(), take, at);
            offset += take;
            if (offset == parts[part].size()) {
                ++part;
                offset = 0;
            }
        }
        remaining -= message.payload.size();
        {
            Unlocked unlocked(lock);
            if (!writeOnStream(stream, message)) {
                throw ByteIOError::closed();
            }
        }
        waitForOkay(lock, stream);
    }
}

void AdbConnection::waitForOkay(std::unique_lock<std::mutex>& lock, AdbStreamState& stream) {
    stream.changed.wait(lock, [&] { return stream.okayCredits > 0 || stream.terminated; });
    if (stream.okayCredits == 0) {
        throw ByteIOError::closed();
    }
    --stream.okayCredits;
}

bool AdbConnection::writeOnStream(AdbStreamState& stream, const AdbMessage& message) {
    std::lock_guard wire(stream.wire);
    if (stream.closeSent) {
        return false;
    }
    transport_->write(message);
    return true;
}

void AdbConnection::closeStream(AdbStreamState& stream) noexcept {
    {
        std::lock_guard lock(mutex_);
        const auto it = streams_.find(stream.localID);
        if (it == streams_.end() || it->second.get() != &stream) {
            return;  // closed before, by either side
        }
        streams_.erase(it);
        terminate(stream, ByteIOErrorKind::closed, false);
    }
    std::lock_guard wire(stream.wire);
    stream.closeSent = true;
    try {
        transport_->write(AdbMessage(Command::clse, stream.localID, stream.remoteID));
    } catch (...) {
        // A failed link is reported by the reader.
    }
}

void AdbConnection::terminate(AdbStreamState& stream, ByteIOErrorKind end, bool transportFailure) {
    stream.terminated = true;
    stream.endedByTransportFailure = transportFailure;
    stream.buffer.finish(end);
    stream.changed.notify_all();
}

void AdbConnection::terminateAll(std::unique_lock<std::mutex>& lock, ByteIOErrorKind end,
                                 bool transportFailure) {
    (void)lock;
    for (auto& [id, stream] : std::exchange(streams_, {})) {
        terminate(*stream, end, transportFailure);
    }
    for (auto& [id, pending] : std::exchange(pendingOpens_, {})) {
        pending->answered = true;
        pending->failure = std::make_exception_ptr(AdbError::closed());
    }
    openAnswered_.notify_all();
}

bool AdbConnection::endedByTransportFailure(AdbStreamState& stream) {
    std::lock_guard lock(mutex_);
    return stream.endedByTransportFailure;
}

void AdbConnection::dispatch(AdbMessage message) {
    switch (message.command) {
        case Command::wrte:
            handleWrite(message.arg0, message.arg1, std::move(message.payload));
            return;
        case Command::clse:
            handleClose(message.arg1);
            return;
        case Command::okay:
            handleOkay(message.arg0, message.arg1);
            return;
        case Command::cnxn:
        case Command::auth:
        case Command::open:
        case Command::stls:
            // An OPEN from the phone is neither accepted nor refused.
            Log::adb().debug("ignoring {} after handshake", commandName(message.command));
            return;
    }
}

void AdbConnection::handleOkay(std::uint32_t remoteID, std::uint32_t localID) {
    std::lock_guard lock(mutex_);
    if (const auto it = pendingOpens_.find(localID); it != pendingOpens_.end()) {
        const std::shared_ptr<PendingOpen> pending = it->second;
        pendingOpens_.erase(it);
        // Registered before its opener resumes, so data that follows at once is kept.
        auto stream = std::make_shared<AdbStreamState>(localID, remoteID);
        streams_[localID] = stream;
        pending->stream = std::move(stream);
        pending->answered = true;
        openAnswered_.notify_all();
    } else if (const auto open = streams_.find(localID); open != streams_.end()) {
        ++open->second->okayCredits;
        open->second->changed.notify_all();
    }
}

void AdbConnection::handleWrite(std::uint32_t remoteID, std::uint32_t localID, Bytes payload) {
    std::shared_ptr<AdbStreamState> stream;
    {
        std::lock_guard lock(mutex_);
        if (const auto it = streams_.find(localID); it != streams_.end()) {
            stream = it->second;
        }
    }
    if (!stream) {
        Log::adb().debug("WRTE for unknown stream {}", localID);
        return;
    }
    stream->buffer.append(std::move(payload));
    try {
        // Acknowledged once buffered, read or not: the phone is never held back by a slow reader.
        writeOnStream(*stream, AdbMessage(Command::okay, localID, remoteID));
    } catch (...) {
        // A failed link is reported by the next read.
    }
}

void AdbConnection::handleClose(std::uint32_t localID) {
    std::lock_guard lock(mutex_);
    if (const auto it = pendingOpens_.find(localID); it != pendingOpens_.end()) {
        const std::shared_ptr<PendingOpen> pending = it->second;
        pendingOpens_.erase(it);
        pending->failure = std::make_exception_ptr(AdbError::streamOpenFailed(pending->service));
        pending->answered = true;
        openAnswered_.notify_all();
    } else if (const auto open = streams_.find(localID); open != streams_.end()) {
        const std::shared_ptr<AdbStreamState> stream = open->second;
        streams_.erase(open);
        terminate(*stream, ByteIOErrorKind::endOfStream, false);
    }
}

}  // namespace qm
