#include "DeviceLink/USB/UsbAdbTransport.h"

#include <array>

#include "DeviceLink/USB/LibusbInterface.h"
#include "QuillmereCore/Log.h"

namespace qm {

std::shared_ptr<UsbAdbTransport> UsbAdbTransport::open(const UsbAdbDevice& device,
                                                       std::chrono::milliseconds outTimeout) {
    return open(LibusbInterface::open(device), device, outTimeout);
}

std::shared_ptr<UsbAdbTransport> UsbAdbTransport::open(std::unique_ptr<UsbInterface> interface,
                                                       const UsbAdbDevice& device,
                                                       std::chrono::milliseconds outTimeout) {
    const std::vector<UsbEndpointInfo> endpoints = interface->endpoints();
    const UsbBulkEndpoints bulk = UsbBulkEndpoints::select(endpoints);
    Log::usb().info("opened ADB interface of {} in=0x{:x} out=0x{:x} mps={}",
                    Log::privateValue(device.serial), bulk.inEndpoint.address,
                    bulk.outEndpoint.address, bulk.outEndpoint.maxPacketSize);
    return std::make_shared<UsbAdbTransport>(std::move(interface), bulk, outTimeout);
}

UsbAdbTransport::UsbAdbTransport(std::unique_ptr<UsbInterface> interface,
                                 UsbBulkEndpoints endpoints, std::chrono::milliseconds outTimeout)
    : interface_(std::move(interface)), endpoints_(endpoints), outTimeout_(outTimeout) {}

UsbAdbTransport::~UsbAdbTransport() {
    close();
}

void UsbAdbTransport::fail(UsbTransferStatus status) const {
    // Whatever ends after close began was ended by it.
    if (closed() || status == UsbTransferStatus::aborted) {
        throw AdbError::closed();
    }
    throw UsbError::fromTransfer(status);
}

void UsbAdbTransport::send(ByteView bytes) {
    // An OUT transfer only reads its buffer.
    const std::span<std::uint8_t> buffer(const_cast<std::uint8_t*>(bytes.data()), bytes.size());
    const UsbTransferResult result =
        interface_->transfer(endpoints_.outEndpoint.address, buffer, outTimeout_);
    if (result.status != UsbTransferStatus::completed) {
        fail(result.status);
    }
    if (result.transferred != bytes.size()) {
        throw UsbError::io(UsbError::shortWriteCode);
    }
}

std::size_t UsbAdbTransport::receive(std::span<std::uint8_t> into,
                                     std::chrono::milliseconds timeout) {
    const UsbTransferResult result =
        interface_->transfer(endpoints_.inEndpoint.address, into, timeout);
    if (result.status != UsbTransferStatus::completed) {
        fail(result.status);
    }
    return std::min(result.transferred, into.size());
}

void UsbAdbTransport::write(const AdbMessage& message) {
    if (closed()) {
        throw AdbError::closed();
    }
    const auto header = message.encodedHeader();
    writeLane_.run([&] {
        if (closed()) {
            throw AdbError::closed();
        }
        // Header and payload are separate transfers: the device reads them so.
        send(header);
        if (message.payload.empty()) {
            return;
        }
        send(message.payload);
        if (UsbFraming::needsZeroLengthPacket(message.payload.size(),
                                              endpoints_.outEndpoint.maxPacketSize)) {
            send({});
        }
    });
}

AdbMessage UsbAdbTransport::read() {
    if (closed()) {
        throw AdbError::closed();
    }
    return readLane_.run([&] {
        if (closed()) {
            throw AdbError::closed();
        }
        const auto chunk = [&](std::span<std::uint8_t> missing) {
            return receive(missing, std::chrono::milliseconds(0));
        };
        std::array<std::uint8_t, AdbHeader::byteCount> headerBytes{};
        UsbFraming::readExactly(headerBytes, chunk);
        const AdbHeader header = AdbMessage::decodeHeader(headerBytes);
        checkPayloadLength(header);
        Bytes payload(header.dataLength);
        UsbFraming::readExactly(payload, chunk);
        return AdbMessage(header, std::move(payload));
    });
}

void UsbAdbTransport::drainPending(std::chrono::nanoseconds idle) {
    if (closed()) {
        return;
    }
    // Zero would mean "no time-out" to the platform, and the drain would never end.
    const auto timeout =
        std::max(std::chrono::ceil<std::chrono::milliseconds>(idle), std::chrono::milliseconds(1));
    std::size_t discarded = 0;
    try {
        discarded = readLane_.run([&] {
            if (closed()) {
                return std::size_t{0};
            }
            drainBuffer_.resize(drainRequestSize);
            return UsbFraming::drain(drainLimit, drainMaxRequests,
                                     [&] { return receive(drainBuffer_, timeout); });
        });
    } catch (...) {
        return;  // closed meanwhile
    }
    if (discarded > 0) {
        Log::usb().info("discarded {} stale bytes left by an earlier host session", discarded);
    }
}

void UsbAdbTransport::close() noexcept {
    std::lock_guard lock(closeMutex_);
    if (closed_.exchange(true)) {
        return;
    }
    interface_->abort();
    readLane_.stop();
    writeLane_.stop();
    interface_.reset();
}

}  // namespace qm
