// Input: a phone on the fake USB port, against the real bulk transport. Three bytes choose the
// port: the most one IN transfer gives, the empty transfers before each one with data, the
// packet size. Then steps, each a kind byte and its bytes: the phone sends a run of bytes (a
// message, a piece of one, several at once, garbage), the host reads a message, the next IN
// transfer fails, the host writes a message. At the end the phone goes away and the host reads
// until that shows.
// The host must read the messages that the phone's bytes hold as one stream, however the
// transfers cut them, and fail with a typed error exactly where that stream is bad, cut off or
// a transfer fails. Its own writes must keep the framing rules. Nothing may hang.
#include <algorithm>
#include <array>
#include <deque>
#include <optional>

#include "DeviceLink/AdbPacketTransport.h"
#include "DeviceLink/USB/UsbAdbTransport.h"
#include "FuzzCheck.h"
#include "QuillmereCore/Log.h"
#include "Support/FakeUsb.h"
#include "Support/MemoryPacketTransport.h"

namespace {

using namespace qm;
using qm::fuzz::check;

constexpr std::array<std::size_t, 8> inTransferLimits = {1, 3, 7, 16, 23, 24, 25, 0x10000};
constexpr std::array<int, 5> packetSizes = {0, 8, 64, 512, 1024};
constexpr std::array<UsbTransferStatus, 6> failures = {
    UsbTransferStatus::timedOut, UsbTransferStatus::aborted,  UsbTransferStatus::stalled,
    UsbTransferStatus::overflow, UsbTransferStatus::noDevice, UsbTransferStatus::failed};
// The host's writes of one run, so that the cable's buffer stays small.
constexpr std::size_t maxWritten = 1 << 20;

class Script {
public:
    Script(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool done() const { return at_ >= size_; }
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::size_t length() { return byte() | std::size_t{byte()} << 8; }
    ByteView bytes(std::size_t count) {
        count = std::min(count, size_ - std::min(at_, size_));
        const ByteView view(data_ + at_, count);
        at_ += count;
        return view;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// What the host must make of the phone's bytes, read as one stream.
struct Expected {
    std::optional<AdbMessage> message;  // none: reading fails
    bool badHeader = false;             // fails with protocolViolation after the header
};

class Phone {
public:
    void send(ByteView bytes) { stream_.insert(stream_.end(), bytes.begin(), bytes.end()); }

    // None while the host would wait for more.
    std::optional<Expected> next(bool gone) {
        if (stream_.size() < AdbHeader::byteCount) {
            return gone ? std::optional(Expected{}) : std::nullopt;
        }
        const Bytes headerBytes(stream_.begin(), stream_.begin() + AdbHeader::byteCount);
        AdbHeader header;
        try {
            header = AdbMessage::decodeHeader(headerBytes);
            checkPayloadLength(header);
        } catch (const AdbError&) {
            return Expected{std::nullopt, true};
        }
        if (stream_.size() < AdbHeader::byteCount + header.dataLength) {
            return gone ? std::optional(Expected{}) : std::nullopt;
        }
        const auto payload = stream_.begin() + AdbHeader::byteCount;
        Expected expected{AdbMessage(header, Bytes(payload, payload + header.dataLength))};
        stream_.erase(stream_.begin(), payload + header.dataLength);
        return expected;
    }

private:
    std::deque<std::uint8_t> stream_;
};

// False once reading has failed, as it had to.
bool readChecked(UsbAdbTransport& transport, const Expected& expected, bool failing) {
    try {
        const AdbMessage message = transport.read();
        check(!failing && expected.message && message == *expected.message);
        return true;
    } catch (const AdbError& error) {
        check(failing ? error.kind() == AdbErrorKind::closed
                      : expected.badHeader && error.kind() == AdbErrorKind::protocolViolation);
    } catch (const UsbError&) {
        check(failing || (!expected.message && !expected.badHeader));
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Log::usb().set_level(spdlog::level::off);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Script script(data, size);
    test::FakeUsbPort::Options options;
    options.maxInTransfer = inTransferLimits[script.byte() % inTransferLimits.size()];
    options.emptyInTransfers = script.byte() % 3;
    const int packetSize = packetSizes[script.byte() % packetSizes.size()];
    options.endpoints = {{0x81, true, true, packetSize}, {0x01, true, false, packetSize}};

    auto [host, device] = test::MemoryPacketTransport::makePair();
    const auto port = std::make_shared<test::FakeUsbPort>(host, std::move(options));
    const auto transport =
        UsbAdbTransport::open(test::FakeUsbPort::interfaceOf(port), {1, "SERIAL", "Phone"});
    Phone phone;
    bool failing = false;
    std::size_t written = 0;
    bool reading = true;
    while (reading && !script.done()) {
        switch (script.byte() % 4) {
            case 0: {
                const ByteView bytes = script.bytes(script.length());
                device->writeRaw(bytes);
                phone.send(bytes);
                break;
            }
            case 1:
                if (failing) {
                    reading = readChecked(*transport, {}, true);
                } else if (const std::optional<Expected> expected = phone.next(false)) {
                    reading = readChecked(*transport, *expected, false);
                }
                break;
            case 2:
                port->failNext(true, failures[script.byte() % failures.size()]);
                failing = true;
                break;
            default: {
                const std::size_t length =
                    std::min<std::size_t>(script.length(), AdbProtocolConstants::maxPayload);
                if (written + length > maxWritten) {
                    break;
                }
                written += length;
                transport->write(AdbMessage(AdbMessage::Command::wrte, 1, 2, Bytes(length, 0x5A)));
                break;
            }
        }
    }
    device->close();
    while (reading) {
        reading = readChecked(*transport, failing ? Expected{} : *phone.next(true), failing);
    }
    check(port->violations().empty());
    transport->close();
    return 0;
}
