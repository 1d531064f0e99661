#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "DeviceLink/AdbMessage.h"

namespace qm::test {

// Faults of the phone's stream layer.
struct StreamFaults {
    // The phone answers this many host WRTEs in all, then withholds its OKAYs until the test
    // releases them.
    std::optional<std::size_t> withholdOkayAfter;
    // Every host WRTE is answered with two OKAYs; the second grants nothing.
    bool duplicateOkay = false;
    // The cable is pulled once the host has written this many stream bytes in all.
    std::optional<std::uint64_t> dropLinkAfterHostBytes;
};

struct PhoneStreamProgress {
    std::uint64_t sentBytes = 0;  // in WRTEs so far
    bool awaitingOkay = false;    // the last of them is not yet acknowledged
};

// The phone writing on its open streams, named by the host's stream id; each call is false
// when that stream is not open. Services that drive several streams (the device server) use it.
class FakePhoneStreams {
public:
    virtual bool sendOn(std::uint32_t hostID, Bytes data) = 0;
    // CLSE once everything sent has been acknowledged.
    virtual bool finishOn(std::uint32_t hostID) = 0;
    // CLSE now; what was not sent yet is dropped.
    virtual bool closeOn(std::uint32_t hostID) = 0;

protected:
    ~FakePhoneStreams() = default;
};

// What a service sees of its stream, and of the phone's other streams.
class FakeStreamEnd : public FakePhoneStreams {
public:
    virtual std::uint32_t hostID() const = 0;
    // Sent in WRTEs of at most the negotiated size, each after the host's OKAY of the last.
    virtual void send(std::shared_ptr<const Bytes> data) = 0;
    // CLSE once everything sent has been acknowledged.
    virtual void finish() = 0;
    virtual void violation(std::string what) = 0;

protected:
    ~FakeStreamEnd() = default;
};

// One stream's service on the phone; called on the phone's thread under its lock.
class FakeService {
public:
    virtual ~FakeService() = default;
    virtual void opened(FakeStreamEnd& stream) { (void)stream; }
    virtual void received(FakeStreamEnd& stream, ByteView data) = 0;
    // The host acknowledged `bytes` the phone sent.
    virtual void taken(FakeStreamEnd& stream, std::size_t bytes) {
        (void)stream;
        (void)bytes;
    }
    virtual void closedByHost(FakeStreamEnd& stream) { (void)stream; }
};

// The device side of ADB streams: OPEN answered by a service or refused, flow control both
// ways, CLSE either way, and every departure of the host from the protocol recorded.
// Not locked: its owner serialises every call.
class FakeAdbStreams {
public:
    using Sender = std::function<void(const AdbMessage&)>;
    using Reporter = std::function<void(std::string)>;
    // A service for a name and the host's stream id, or none to refuse the OPEN.
    using ServiceFactory =
        std::function<std::unique_ptr<FakeService>(const std::string& name, std::uint32_t hostID)>;

    FakeAdbStreams(Sender send, Reporter violation, ServiceFactory services, StreamFaults faults);

    // The negotiated maximum payload, known once the phone sent its CNXN.
    void setPayloadLimit(std::size_t limit) { limit_ = limit; }
    // OPEN, WRTE, OKAY or CLSE from the host.
    void handle(const AdbMessage& message);

    // The phone closes a stream now, whatever it was doing.
    bool closeFromPhone(std::uint32_t hostID);
    // Sends bytes on an open stream, paced like every other phone write.
    bool sendFromPhone(std::uint32_t hostID, Bytes data);
    // The phone ends a stream once what it sent has been acknowledged.
    bool finishFromPhone(std::uint32_t hostID);
    // From now on host WRTEs get no OKAY until released.
    void withholdOkays() { withholding_ = true; }
    void releaseWithheldOkays();
    std::optional<PhoneStreamProgress> progressOn(std::uint32_t hostID) const;
    // The link is gone, and every stream with it.
    void linkLost() { streams_.clear(); }
    std::size_t openCount() const { return streams_.size(); }
    std::vector<std::string> openedServices() const { return opened_; }

private:
    struct Piece {
        std::shared_ptr<const Bytes> bytes;
        std::size_t offset = 0;
    };
    struct Stream {
        std::uint32_t hostID = 0;
        std::uint32_t phoneID = 0;
        std::unique_ptr<FakeService> service;
        std::deque<Piece> outgoing;
        bool awaitingOkay = false;  // a phone WRTE waits for the host's OKAY
        std::uint64_t sentBytes = 0;
        std::size_t inFlight = 0;  // the bytes of that WRTE
        bool finishing = false;
        bool closed = false;         // the phone sent CLSE
        std::size_t unanswered = 0;  // host WRTEs whose OKAY is withheld
        std::size_t allowance = 1;   // WRTEs the host may send now: one per OKAY
    };
    class End;

    void onOpen(const AdbMessage& message);
    void onWrite(const AdbMessage& message);
    void onOkay(const AdbMessage& message);
    void onClose(const AdbMessage& message);
    // The open stream a host message names, or none after reporting what is wrong.
    Stream* addressed(const AdbMessage& message);
    void answer(Stream& stream);
    void abort(Stream& stream);
    void pump(Stream& stream);
    // Forgets a stream once the phone has closed it.
    void forgetIfClosed(std::uint32_t hostID);

    const Sender send_;
    const Reporter violation_;
    const ServiceFactory services_;
    const StreamFaults faults_;
    std::size_t limit_ = AdbProtocolConstants::maxPayload;
    std::map<std::uint32_t, Stream> streams_;  // by the host's id
    std::set<std::uint32_t> closedByPhone_;    // the host may not know yet
    std::set<std::uint32_t> closedByHost_;
    std::vector<std::string> opened_;
    std::uint32_t nextPhoneID_ = 0x100;
    std::optional<std::size_t> withholdAfter_;  // until released
    std::size_t answeredWrites_ = 0;
    bool withholding_ = false;
};

}  // namespace qm::test
