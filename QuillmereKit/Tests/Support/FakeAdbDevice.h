#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "DeviceLink/AdbKey.h"
#include "DeviceLink/AdbMessage.h"
#include "QuillmereCore/TaskClock.h"
#include "Support/FakeAdbAuth.h"
#include "Support/FakeAdbStreams.h"
#include "Support/FakePhoneServices.h"
#include "Support/MemoryPacketTransport.h"

namespace qm::test {

// Ways the phone breaks the handshake. Apart from the stray OKAY and the stale bytes, each takes
// the place of the first AUTH token.
enum class HandshakeFault {
    badMagic,             // a header whose magic equals its command
    unknownCommand,       // a well-formed header of an unknown command word
    oversizedPayload,     // a token of 0x40001 bytes
    stls,                 // asks for TLS
    openDuringHandshake,  // OPEN before the phone is connected
    wrongAuthType,        // AUTH of type 2
    shortToken,           // a 19-byte token
    strayOkay,            // an OKAY before the first token, then the usual handshake
    staleBytesPrefix,     // 100 stale bytes wait in the link before the host starts
    dropLink,             // the cable is pulled after the host's CNXN
    dropMidMessage,       // 10 bytes of a header, then the cable is pulled
};

struct FakeAdbScript {
    // What the phone's user does when the host offers its public key.
    enum class Approval {
        immediately,
        afterDelay,  // after `approvalDelay`
        onSignal,    // when the test calls approvePendingKey()
        never,
        refuse,  // answers with a new token, as a phone that did not take the key
    };

    Approval approval = Approval::immediately;
    std::chrono::milliseconds approvalDelay{20};
    TaskClock approvalClock;  // what the delay is slept on
    std::uint32_t version = AdbProtocolConstants::version;
    std::uint32_t maxPayload = AdbProtocolConstants::maxPayload;
    std::string banner =
        "device::ro.product.model=QM One;ro.product.name=qmone;features=shell_v2,cmd";
    std::optional<HandshakeFault> fault;
    StreamFaults streamFaults;
};

// A message as the phone received it; stream bytes are kept by the services instead.
struct SeenMessage {
    AdbMessage::Command command = AdbMessage::Command::cnxn;
    std::uint32_t arg0 = 0;
    std::uint32_t arg1 = 0;
    std::size_t payloadSize = 0;

    bool operator==(const SeenMessage&) const = default;
};

// The phone's ADB daemon over its end of the link. It does the device side of the handshake
// and checks what a phone checks; every departure of the host is recorded as a violation.
// Runs on a thread of its own until the link ends.
class FakeAdbDevice {
public:
    FakeAdbDevice(std::shared_ptr<MemoryPacketTransport> end, FakeAdbScript script);
    ~FakeAdbDevice();
    FakeAdbDevice(const FakeAdbDevice&) = delete;
    FakeAdbDevice& operator=(const FakeAdbDevice&) = delete;

    // The phone remembers this key from an earlier "Always allow".
    void trust(const AdbKey& key);
    // The same for a public-key line as the host offered it.
    void trust(ByteView publicKeyLine);
    // The line of the key offered for approval; none when no key waits.
    std::optional<Bytes> pendingKey() const;
    // The user allows the offered key; false when no key waits for approval.
    bool approvePendingKey();
    // The cable is pulled.
    void dropLink();
    // Ten bytes of a WRTE header reach the host, then the cable is pulled.
    void dropLinkMidMessage();
    // The phone closes a stream now (by the host's id); false when it is not open.
    bool closeStream(std::uint32_t hostID);
    // The phone writes on an open stream, one WRTE per OKAY; false when it is not open.
    bool sendOnStream(std::uint32_t hostID, Bytes data);
    // The phone ends a stream after what it sent; false when it is not open.
    bool finishStream(std::uint32_t hostID);
    void withholdOkays();
    void releaseWithheldOkays();
    // Bytes that are no message reach the host, as from a phone whose framing broke.
    void sendGarbage(ByteView bytes);
    // How far the phone's writing on an open stream has come; none when it is not open.
    std::optional<PhoneStreamProgress> progressOn(std::uint32_t hostID) const;

    FakePhoneServices& services() { return services_; }

    bool isConnected() const;
    std::vector<std::string> violations() const;
    std::vector<SeenMessage> received() const;
    std::vector<std::string> openedServices() const;
    std::size_t openStreamCount() const;
    std::size_t tokensSent() const;
    std::vector<std::string> offeredKeyComments() const;
    std::size_t trustedKeyCount() const { return auth_.trustedCount(); }

private:
    enum class Phase { awaitingConnect, authenticating, awaitingApproval, connected, broken };

    void run();
    void handle(const AdbMessage& message);
    void onConnect(const AdbMessage& message);
    void onAuth(const AdbMessage& message);
    void onPublicKey(const AdbMessage& message);
    void injectFault(HandshakeFault fault);
    void sendToken();
    void sendConnect();
    void approveLocked();
    void send(const AdbMessage& message);
    void sendRaw(ByteView bytes);
    void violation(std::string what);
    void approveAfterDelay(std::stop_token stop);

    const std::shared_ptr<MemoryPacketTransport> end_;
    const FakeAdbScript script_;
    FakeAdbAuth auth_;
    FakePhoneServices services_;

    mutable std::mutex mutex_;
    Phase phase_ = Phase::awaitingConnect;
    Bytes token_;
    std::optional<FakeAdbAuth::PublicKey> pendingKey_;
    std::size_t tokensSent_ = 0;
    std::vector<std::string> offeredComments_;
    std::vector<std::string> violations_;
    std::vector<SeenMessage> received_;
    FakeAdbStreams streams_;
    std::uint64_t hostStreamBytes_ = 0;
    std::uint32_t hostMaxPayload_ = AdbProtocolConstants::maxPayload;

    std::jthread approvalTimer_;
    std::jthread reader_;
};

}  // namespace qm::test
