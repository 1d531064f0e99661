// The stream layer of AdbConnection: opening, flow-controlled writes, the reader's dispatch,
// and the ends of streams.
#include <algorithm>

#include "DeviceLink/AdbConnection.h"
#include "DeviceLink/AdbStreamState.h"
#include "DeviceLink/USB/UsbError.h"
#include "QuillmereCore/Log.h"

namespace qm {

namespace {

using Command = AdbMessage::Command;

// Walks a gathered write as one run of bytes.
class GatheredBytes {
public:
    explicit GatheredBytes(std::span<const ByteView> parts) : parts_(parts) { skipEmpty(); }

    bool atEnd() const { return part_ == parts_.size(); }
    // Appends up to `limit` of the next bytes to `to`.
    void appendTo(Bytes& to, std::size_t limit) {
        while (!atEnd() && to.size() < limit) {
            const ByteView rest = parts_[part_].subspan(offset_);
            const std::size_t take = std::min(rest.size(), limit - to.size());
            to.insert(to.end(), rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(take));
            offset_ += take;
            skipEmpty();
        }
    }

private:
    void skipEmpty() {
        while (!atEnd() && offset_ == parts_[part_].size()) {
            ++part_;
            offset_ = 0;
        }
    }

    std::span<const ByteView> parts_;
    std::size_t part_ = 0;
    std::size_t offset_ = 0;
};

// A send on an ended stream fails with the error of its own WRTE's write, if that was the end.
[[noreturn]] void throwEnded(AdbStreamState& stream) {
    if (std::exception_ptr failure = std::exchange(stream.writeFailure, nullptr)) {
        std::rethrow_exception(failure);
    }
    throw ByteIOError::closed();
}

// An error object of the caller's own. The writer goes on using the one it caught, and an
// exception object shared between threads is freed by whichever lets go last, through a count
// that the race detector cannot follow; a copy of our own errors shares nothing with it.
std::exception_ptr copyOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const UsbError& e) {
        return std::make_exception_ptr(e);
    } catch (const AdbError& e) {
        return std::make_exception_ptr(e);
    } catch (const ByteIOError& e) {
        return std::make_exception_ptr(e);
    } catch (...) {
        return error;
    }
}

}  // namespace

struct AdbConnection::PendingOpen {
    explicit PendingOpen(std::string name) : service(std::move(name)) {}

    const std::string service;
    bool answered = false;
    bool abandoned = false;                  // its opener gave up; a late OKAY is closed at once
    std::shared_ptr<AdbStreamState> stream;  // when accepted
    std::exception_ptr failure;              // when not
};

std::shared_ptr<AdbStream> AdbConnection::open(const std::string& service, std::stop_token stop) {
    std::unique_lock lock(mutex_);
    if (!banner_ || isClosed_) {
        throw AdbError::closed();
    }
    const std::uint32_t id = nextLocalID_;
    nextLocalID_ = id == 0xFFFFFFFF ? 1 : id + 1;
    const auto pending = std::make_shared<PendingOpen>(service);
    pendingOpens_[id] = pending;
    const ByteView name = asBytes(service);
    Bytes payload;
    payload.reserve(name.size() + 1);
    payload.assign(name.begin(), name.end());
    payload.push_back(0);
    queueControl(lock, AdbMessage(Command::open, id, 0, std::move(payload)));

    const auto deadline = std::chrono::steady_clock::now() + timings_.openTimeout;
    if (!openAnswered_.wait_until(lock, stop, deadline, [&] { return pending->answered; })) {
        pending->abandoned = true;
        if (stop.stop_requested()) {
            throw CancellationError();
        }
        throw AdbError::timedOut("the phone did not answer the opening of " + service);
    }
    if (pending->failure) {
        std::rethrow_exception(pending->failure);
    }
    lock.unlock();
    return std::make_shared<AdbStream>(shared_from_this(), pending->stream);
}

void AdbConnection::send(const std::shared_ptr<AdbStreamState>& stream,
                         std::span<const ByteView> parts) {
    std::unique_lock lock(mutex_);
    if (stream->terminated) {
        throw ByteIOError::closed();
    }
    // Sends of one stream go out whole, one after the other, in the order they came.
    const std::uint64_t turn = stream->nextTurn++;
    stream->changed.wait(lock, [&] { return stream->terminated || stream->servingTurn == turn; });
    try {
        sendChunks(lock, stream, parts);
    } catch (...) {
        ++stream->servingTurn;
        stream->changed.notify_all();
        throw;
    }
    ++stream->servingTurn;
    stream->changed.notify_all();
}

void AdbConnection::sendChunks(std::unique_lock<std::mutex>& lock,
                               const std::shared_ptr<AdbStreamState>& stream,
                               std::span<const ByteView> parts) {
    const std::size_t limit = maxPayload();
    GatheredBytes bytes(parts);
    while (!bytes.atEnd()) {
        // One WRTE in flight: the next waits for the phone's OKAY of the last.
        stream->changed.wait(lock, [&] {
            return stream->terminated || (!stream->awaitingOkay && !stream->writeQueued);
        });
        if (stream->terminated) {
            throwEnded(*stream);
        }
        // Neither the writer nor another send touches `outgoing` now.
        lock.unlock();
        stream->outgoing.payload.clear();
        bytes.appendTo(stream->outgoing.payload, limit);
        lock.lock();
        if (stream->terminated) {
            throwEnded(*stream);
        }
        stream->awaitingOkay = true;
        stream->writeQueued = true;
        pendingWrites_.push_back(stream);
        writerWake_.notify_one();
    }
    // The write is done once the phone has taken its last chunk.
    stream->changed.wait(lock, [&] { return stream->terminated || !stream->awaitingOkay; });
    if (stream->awaitingOkay) {
        throwEnded(*stream);
    }
}

void AdbConnection::acknowledge(AdbStreamState& stream) noexcept {
    std::unique_lock lock(mutex_);
    stream.owingOkay = false;
    if (stream.terminated) {
        return;
    }
    try {
        queueControl(lock, AdbMessage(Command::okay, stream.localID, stream.remoteID));
    } catch (const std::bad_alloc&) {
        // The phone waits on this stream; the process goes on.
    }
}

void AdbConnection::queueControl(std::unique_lock<std::mutex>& lock, AdbMessage message) {
    (void)lock;
    control_.push_back(std::move(message));
    writerWake_.notify_one();
}

void AdbConnection::closeStream(AdbStreamState& stream) noexcept {
    // The buffer first, so that a read under way fails at once.
    stream.received.close();
    std::unique_lock lock(mutex_);
    const auto it = streams_.find(stream.localID);
    if (it == streams_.end() || it->second.get() != &stream) {
        return;  // closed before, by either side
    }
    streams_.erase(it);
    terminate(stream, ByteIOErrorKind::closed, false);
    stream.closeQueued = true;
    try {
        queueControl(lock, AdbMessage(Command::clse, stream.localID, stream.remoteID));
    } catch (const std::bad_alloc&) {
        // The phone keeps a stream it no longer hears from; the process goes on.
    }
}

void AdbConnection::terminate(AdbStreamState& stream, ByteIOErrorKind end, bool transportFailure) {
    stream.terminated = true;
    stream.endedByTransportFailure = transportFailure;
    if (end == ByteIOErrorKind::closed) {
        stream.received.close();
    } else {
        stream.received.finish();
    }
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
    writerWake_.notify_all();
}

void AdbConnection::writeFailed(const AdbMessage& message,
                                const std::shared_ptr<AdbStreamState>& stream,
                                const std::exception_ptr& failure) {
    std::exception_ptr error = copyOf(failure);
    std::lock_guard lock(mutex_);
    if (isClosed_) {
        return;  // failed because it was closed, which its caller hears
    }
    if (stream) {
        stream->writeFailure = std::move(error);
        return;
    }
    if (message.command != Command::open) {
        return;
    }
    if (const auto it = pendingOpens_.find(message.arg0); it != pendingOpens_.end()) {
        it->second->failure = std::move(error);
        it->second->answered = true;
        pendingOpens_.erase(it);
        openAnswered_.notify_all();
    }
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

void AdbConnection::ignoreStray(Command command, std::uint32_t remoteID, std::uint32_t localID) {
    // Once per connection: a confused phone could otherwise flood the log.
    if (!strayReported_.exchange(true)) {
        Log::adb().warn("ignoring {} from phone stream {} for stream {}, whose peer it is not",
                        commandName(command), remoteID, localID);
    }
}

void AdbConnection::handleOkay(std::uint32_t remoteID, std::uint32_t localID) {
    std::unique_lock lock(mutex_);
    if (const auto it = pendingOpens_.find(localID); it != pendingOpens_.end()) {
        if (remoteID == 0) {
            lock.unlock();
            ignoreStray(Command::okay, remoteID, localID);
            return;
        }
        const std::shared_ptr<PendingOpen> pending = it->second;
        pendingOpens_.erase(it);
        if (pending->abandoned) {
            queueControl(lock, AdbMessage(Command::clse, localID, remoteID));
            return;
        }
        // Registered before its opener resumes, so data that follows at once is kept.
        auto stream = std::make_shared<AdbStreamState>(localID, remoteID);
        // The queue lives in the stream, and a reader keeps the connection alive.
        stream->received.holdBackAbove(receiveHighWater,
                                       [this, state = stream.get()] { acknowledge(*state); });
        streams_[localID] = stream;
        pending->stream = std::move(stream);
        pending->answered = true;
        openAnswered_.notify_all();
        return;
    }
    const auto open = streams_.find(localID);
    if (open == streams_.end()) {
        return;
    }
    AdbStreamState& stream = *open->second;
    if (remoteID == 0 || remoteID != stream.remoteID) {
        lock.unlock();
        ignoreStray(Command::okay, remoteID, localID);
        return;
    }
    // An OKAY that answers no WRTE grants nothing: one WRTE in flight, as the phone expects.
    if (stream.awaitingOkay) {
        stream.awaitingOkay = false;
        stream.changed.notify_all();
    }
}

void AdbConnection::handleWrite(std::uint32_t remoteID, std::uint32_t localID, Bytes payload) {
    std::shared_ptr<AdbStreamState> stream;
    {
        std::lock_guard lock(mutex_);
        if (const auto it = streams_.find(localID); it != streams_.end()) {
            stream = it->second;
        }
        if (stream && remoteID != 0 && remoteID == stream->remoteID) {
            // Past a withheld OKAY the phone's data would pile up without bound.
            if (stream->owingOkay) {
                throw AdbError::protocolViolation("phone stream " + std::to_string(remoteID) +
                                                  " sent data before its last was acknowledged");
            }
            stream->owingOkay = true;
        }
    }
    if (!stream) {
        Log::adb().debug("WRTE for unknown stream {}", localID);
        return;
    }
    if (remoteID == 0 || remoteID != stream->remoteID) {
        ignoreStray(Command::wrte, remoteID, localID);
        return;
    }
    // A reader far behind holds the phone back: its queue acknowledges once it has caught up.
    if (stream->received.feed(std::move(payload))) {
        acknowledge(*stream);
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
