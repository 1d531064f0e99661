#include "Support/MemoryPacketTransport.h"

#include <algorithm>
#include <deque>

namespace qm::test {

class MemoryPacketTransport::Pipe {
public:
    std::mutex mutex;
    std::condition_variable wake;
    Bytes bytes;
    std::size_t head = 0;
    std::uint64_t consumed = 0;      // bytes read since the pipe was made
    std::uint64_t produced = 0;      // bytes written since the pipe was made
    std::deque<std::uint64_t> ends;  // where each write not yet read through ends
    bool writerGone = false;         // the sending end closed: reads end after what is left
    bool readerGone = false;  // the receiving end closed: its reads and the sender's writes fail
    std::size_t wanted = 0;   // what a parked reader waits for

    std::size_t buffered() const { return bytes.size() - head; }
    // What one transfer may take: the rest of the write under way.
    std::size_t transferable() const {
        return ends.empty() ? buffered() : static_cast<std::size_t>(ends.front() - consumed);
    }
    void append(ByteView data) {
        if (!data.empty()) {
            bytes.insert(bytes.end(), data.begin(), data.end());
            produced += data.size();
            ends.push_back(produced);
        }
    }
    void consume(std::size_t count) {
        head += count;
        consumed += count;
        while (!ends.empty() && ends.front() <= consumed) {
            ends.pop_front();
        }
        if (head == bytes.size()) {
            bytes.clear();
            head = 0;
        }
    }
};

std::pair<std::shared_ptr<MemoryPacketTransport>, std::shared_ptr<MemoryPacketTransport>>
MemoryPacketTransport::makePair(std::uint32_t deviceLimit) {
    auto toDevice = std::make_shared<Pipe>();
    auto toHost = std::make_shared<Pipe>();
    return {
        std::make_shared<MemoryPacketTransport>(toHost, toDevice, AdbProtocolConstants::maxPayload),
        std::make_shared<MemoryPacketTransport>(toDevice, toHost, deviceLimit)};
}

MemoryPacketTransport::MemoryPacketTransport(std::shared_ptr<Pipe> inbound,
                                             std::shared_ptr<Pipe> outbound, std::uint32_t limit)
    : inbound_(std::move(inbound)), outbound_(std::move(outbound)), limit_(limit) {}

void MemoryPacketTransport::write(const AdbMessage& message) {
    const auto header = message.encodedHeader();
    send(header, message.payload);
}

void MemoryPacketTransport::writeRaw(ByteView bytes) {
    send(bytes, {});
}

void MemoryPacketTransport::send(ByteView header, ByteView payload) {
    {
        std::lock_guard lock(outbound_->mutex);
        if (outbound_->writerGone) {
            throw AdbError::closed();
        }
        if (outbound_->readerGone) {
            throw ByteIOError::endOfStream();
        }
        outbound_->append(header);
        outbound_->append(payload);
    }
    outbound_->wake.notify_all();
}

AdbMessage MemoryPacketTransport::read() {
    AdbHeader header;
    return read(header);
}

AdbMessage MemoryPacketTransport::read(AdbHeader& header) {
    std::lock_guard serial(readMutex_);
    std::array<std::uint8_t, AdbHeader::byteCount> headerBytes{};
    readExactly(headerBytes);
    header = AdbMessage::decodeHeader(headerBytes);
    checkPayloadLength(header, limit_);
    Bytes payload;
    readExactly(header.dataLength,
                [&](ByteView bytes) { payload.assign(bytes.begin(), bytes.end()); });
    return AdbMessage(header, std::move(payload));
}

void MemoryPacketTransport::readExactly(std::span<std::uint8_t> into) {
    readExactly(into.size(),
                [&](ByteView bytes) { std::copy(bytes.begin(), bytes.end(), into.begin()); });
}

template <typename Take>
void MemoryPacketTransport::readExactly(std::size_t count, Take take) {
    Pipe& pipe = *inbound_;
    std::unique_lock lock(pipe.mutex);
    const auto ready = [&] {
        return pipe.readerGone || pipe.writerGone || pipe.buffered() >= count;
    };
    if (!ready()) {
        pipe.wanted = count;
        pipe.wake.notify_all();
        pipe.wake.wait(lock, ready);
        pipe.wanted = 0;
    }
    if (pipe.readerGone) {
        throw AdbError::closed();
    }
    if (pipe.buffered() < count) {
        throw ByteIOError::endOfStream();
    }
    take(ByteView(pipe.bytes).subspan(pipe.head, count));
    pipe.consume(count);
}

MemoryPacketTransport::RawRead MemoryPacketTransport::readRaw(std::span<std::uint8_t> into,
                                                              std::chrono::milliseconds timeout) {
    std::lock_guard serial(readMutex_);
    Pipe& pipe = *inbound_;
    std::unique_lock lock(pipe.mutex);
    const auto ready = [&] { return pipe.readerGone || pipe.writerGone || pipe.buffered() > 0; };
    if (timeout.count() == 0) {
        pipe.wake.wait(lock, ready);
    } else if (!pipe.wake.wait_for(lock, timeout, ready)) {
        return {RawOutcome::timedOut, 0};
    }
    if (pipe.readerGone) {
        return {RawOutcome::closed, 0};
    }
    if (pipe.buffered() == 0) {
        return {RawOutcome::linkGone, 0};
    }
    const std::size_t count = std::min(into.size(), pipe.transferable());
    std::copy_n(pipe.bytes.begin() + static_cast<std::ptrdiff_t>(pipe.head), count, into.begin());
    pipe.consume(count);
    return {RawOutcome::data, count};
}

void MemoryPacketTransport::close() noexcept {
    for (const auto& [pipe, reading] :
         {std::pair{inbound_.get(), true}, {outbound_.get(), false}}) {
        {
            std::lock_guard lock(pipe->mutex);
            (reading ? pipe->readerGone : pipe->writerGone) = true;
        }
        pipe->wake.notify_all();
    }
}

void MemoryPacketTransport::drainPending(std::chrono::nanoseconds idle) {
    Pipe& pipe = *inbound_;
    std::unique_lock lock(pipe.mutex);
    while (!pipe.readerGone) {
        drained_ += pipe.buffered();
        pipe.consume(pipe.buffered());
        const bool more = pipe.wake.wait_for(
            lock, idle, [&] { return pipe.readerGone || pipe.writerGone || pipe.buffered() > 0; });
        if (!more || pipe.buffered() == 0) {
            return;
        }
    }
}

void MemoryPacketTransport::awaitTaken() {
    Pipe& pipe = *outbound_;
    std::unique_lock lock(pipe.mutex);
    pipe.wake.wait(lock, [&] {
        return pipe.readerGone || pipe.writerGone || pipe.buffered() == 0 ||
               pipe.wanted > pipe.buffered();
    });
}

std::size_t MemoryPacketTransport::drainedByteCount() const {
    std::lock_guard lock(inbound_->mutex);
    return drained_;
}

std::size_t MemoryPacketTransport::pendingByteCount() const {
    std::lock_guard lock(inbound_->mutex);
    return inbound_->buffered();
}

}  // namespace qm::test
