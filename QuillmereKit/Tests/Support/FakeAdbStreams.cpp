#include "Support/FakeAdbStreams.h"

#include <algorithm>
#include <utility>

#include <fmt/format.h>

namespace qm::test {

using Command = AdbMessage::Command;

class FakeAdbStreams::End final : public FakeStreamEnd {
public:
    End(FakeAdbStreams& table, Stream& stream) : table_(table), stream_(stream) {}

    void send(std::shared_ptr<const Bytes> data) override {
        if (!data->empty() && !stream_.closed) {
            stream_.outgoing.push_back({std::move(data), 0});
            table_.pump(stream_);
        }
    }
    void finish() override {
        stream_.finishing = true;
        table_.pump(stream_);
    }
    void violation(std::string what) override { table_.violation_(std::move(what)); }
    std::uint32_t hostID() const override { return stream_.hostID; }

    // The table forgets a closed stream once its current callback is over, not during it.
    bool sendOn(std::uint32_t hostID, Bytes data) override {
        if (hostID != stream_.hostID) {
            return table_.sendFromPhone(hostID, std::move(data));
        }
        send(std::make_shared<const Bytes>(std::move(data)));
        return !stream_.closed;
    }
    bool finishOn(std::uint32_t hostID) override {
        if (hostID != stream_.hostID) {
            return table_.finishFromPhone(hostID);
        }
        finish();
        return true;
    }
    bool closeOn(std::uint32_t hostID) override {
        if (hostID != stream_.hostID) {
            return table_.closeFromPhone(hostID);
        }
        table_.abort(stream_);
        return true;
    }

private:
    FakeAdbStreams& table_;
    Stream& stream_;
};

FakeAdbStreams::FakeAdbStreams(Sender send, Reporter violation, ServiceFactory services,
                               StreamFaults faults)
    : send_(std::move(send)),
      violation_(std::move(violation)),
      services_(std::move(services)),
      faults_(faults),
      withholdAfter_(faults.withholdOkayAfter) {}

void FakeAdbStreams::handle(const AdbMessage& message) {
    switch (message.command) {
        case Command::open:
            onOpen(message);
            return;
        case Command::wrte:
            onWrite(message);
            return;
        case Command::okay:
            onOkay(message);
            return;
        case Command::clse:
            onClose(message);
            return;
        default:
            violation_(
                fmt::format("host sent {} on a connected link", commandName(message.command)));
    }
}

void FakeAdbStreams::onOpen(const AdbMessage& message) {
    const std::uint32_t hostID = message.arg0;
    if (hostID == 0 || message.arg1 != 0 || message.payload.empty() ||
        message.payload.back() != 0) {
        violation_(fmt::format("host OPEN({}, {}) is malformed", message.arg0, message.arg1));
        return;
    }
    if (streams_.contains(hostID)) {
        violation_(fmt::format("host OPEN reuses the open stream id {}", hostID));
        return;
    }
    closedByPhone_.erase(hostID);
    closedByHost_.erase(hostID);
    const std::string name(asText(ByteView(message.payload).first(message.payload.size() - 1)));
    opened_.push_back(name);
    std::unique_ptr<FakeService> service = services_(name, hostID);
    if (!service) {
        send_(AdbMessage(Command::clse, 0, hostID));
        return;
    }
    Stream& stream = streams_[hostID];
    stream.hostID = hostID;
    stream.phoneID = nextPhoneID_++;
    stream.service = std::move(service);
    send_(AdbMessage(Command::okay, stream.phoneID, hostID));
    End end(*this, stream);
    stream.service->opened(end);
    forgetIfClosed(hostID);
}

FakeAdbStreams::Stream* FakeAdbStreams::addressed(const AdbMessage& message) {
    const std::string name(commandName(message.command));
    const std::uint32_t hostID = message.arg0;
    const auto it = streams_.find(hostID);
    if (it == streams_.end()) {
        if (closedByPhone_.contains(hostID)) {
            return nullptr;  // sent before the host saw the phone's CLSE
        }
        violation_(closedByHost_.contains(hostID)
                       ? fmt::format("host sent {} on stream {} after closing it", name, hostID)
                       : fmt::format("host sent {} on unknown stream {}", name, hostID));
        return nullptr;
    }
    if (message.arg1 != it->second.phoneID) {
        violation_(fmt::format("host {} on stream {} names phone stream {}, not {}", name, hostID,
                               message.arg1, it->second.phoneID));
    }
    return &it->second;
}

void FakeAdbStreams::onWrite(const AdbMessage& message) {
    Stream* stream = addressed(message);
    if (!stream) {
        return;
    }
    if (message.payload.empty() || message.payload.size() > limit_) {
        violation_(fmt::format("host WRTE of {} bytes on stream {}; the limit is {}",
                               message.payload.size(), stream->hostID, limit_));
    }
    if (stream->allowance == 0) {
        violation_(
            fmt::format("host WRTE on stream {} before the OKAY of its last one", stream->hostID));
    } else {
        --stream->allowance;
    }
    answer(*stream);
    End end(*this, *stream);
    stream->service->received(end, message.payload);
    forgetIfClosed(stream->hostID);
}

void FakeAdbStreams::answer(Stream& stream) {
    if (withholdAfter_ && answeredWrites_ >= *withholdAfter_) {
        withholding_ = true;
    }
    if (withholding_) {
        ++stream.unanswered;
        return;
    }
    ++answeredWrites_;
    ++stream.allowance;
    const AdbMessage okay(Command::okay, stream.phoneID, stream.hostID);
    for (int copies = faults_.duplicateOkay ? 2 : 1; copies > 0; --copies) {
        send_(okay);
    }
}

void FakeAdbStreams::releaseWithheldOkays() {
    withholding_ = false;
    withholdAfter_.reset();
    for (auto& [hostID, stream] : streams_) {
        for (; stream.unanswered > 0; --stream.unanswered) {
            ++stream.allowance;
            send_(AdbMessage(Command::okay, stream.phoneID, hostID));
        }
    }
}

std::optional<PhoneStreamProgress> FakeAdbStreams::progressOn(std::uint32_t hostID) const {
    const auto it = streams_.find(hostID);
    if (it == streams_.end()) {
        return std::nullopt;
    }
    return PhoneStreamProgress{it->second.sentBytes, it->second.awaitingOkay};
}

void FakeAdbStreams::onOkay(const AdbMessage& message) {
    Stream* stream = addressed(message);
    if (!stream) {
        return;
    }
    if (!stream->awaitingOkay) {
        violation_(fmt::format("host OKAY on stream {} acknowledges nothing", stream->hostID));
        return;
    }
    stream->awaitingOkay = false;
    End end(*this, *stream);
    stream->service->taken(end, std::exchange(stream->inFlight, 0));
    pump(*stream);
    forgetIfClosed(stream->hostID);
}

void FakeAdbStreams::onClose(const AdbMessage& message) {
    const std::uint32_t hostID = message.arg0;
    if (!streams_.contains(hostID) && closedByPhone_.erase(hostID) > 0) {
        return;  // the two CLSEs crossed
    }
    Stream* stream = addressed(message);
    if (!stream) {
        return;
    }
    End end(*this, *stream);
    stream->service->closedByHost(end);
    send_(AdbMessage(Command::clse, stream->phoneID, hostID));
    streams_.erase(hostID);
    closedByHost_.insert(hostID);
}

bool FakeAdbStreams::closeFromPhone(std::uint32_t hostID) {
    const auto it = streams_.find(hostID);
    if (it == streams_.end()) {
        return false;
    }
    abort(it->second);
    forgetIfClosed(hostID);
    return true;
}

void FakeAdbStreams::abort(Stream& stream) {
    stream.outgoing.clear();
    stream.finishing = true;
    stream.awaitingOkay = false;
    pump(stream);
}

bool FakeAdbStreams::finishFromPhone(std::uint32_t hostID) {
    const auto it = streams_.find(hostID);
    if (it == streams_.end()) {
        return false;
    }
    it->second.finishing = true;
    pump(it->second);
    forgetIfClosed(hostID);
    return true;
}

bool FakeAdbStreams::sendFromPhone(std::uint32_t hostID, Bytes data) {
    const auto it = streams_.find(hostID);
    if (it == streams_.end()) {
        return false;
    }
    End end(*this, it->second);
    end.send(std::make_shared<const Bytes>(std::move(data)));
    return true;
}

void FakeAdbStreams::pump(Stream& stream) {
    if (stream.awaitingOkay || stream.closed) {
        return;
    }
    if (!stream.outgoing.empty()) {
        Piece& piece = stream.outgoing.front();
        const std::size_t count = std::min(limit_, piece.bytes->size() - piece.offset);
        const auto from = piece.bytes->begin() + static_cast<std::ptrdiff_t>(piece.offset);
        piece.offset += count;
        Bytes payload(from, from + static_cast<std::ptrdiff_t>(count));
        if (piece.offset == piece.bytes->size()) {
            stream.outgoing.pop_front();
        }
        stream.awaitingOkay = true;
        stream.sentBytes += payload.size();
        stream.inFlight = count;
        send_(AdbMessage(Command::wrte, stream.phoneID, stream.hostID, std::move(payload)));
        return;
    }
    if (stream.finishing) {
        stream.closed = true;
        send_(AdbMessage(Command::clse, stream.phoneID, stream.hostID));
    }
}

void FakeAdbStreams::forgetIfClosed(std::uint32_t hostID) {
    const auto it = streams_.find(hostID);
    if (it != streams_.end() && it->second.closed) {
        streams_.erase(it);
        closedByPhone_.insert(hostID);
    }
}

}  // namespace qm::test
