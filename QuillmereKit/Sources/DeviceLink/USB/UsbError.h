#pragma once

#include <cstdint>
#include <string>

#include "QuillmereCore/TypedError.h"

namespace qm {

enum class UsbErrorKind { io, exclusiveAccess, notFound, access };

// How one blocking bulk transfer ended.
enum class UsbTransferStatus { completed, timedOut, aborted, stalled, overflow, noDevice, failed };

// Failures of USB access. The message is the case name, and for `io` the code in parentheses:
// "exclusiveAccess", "notFound", "access", "io(-7)".
class UsbError : public TypedError<UsbErrorKind> {
public:
    // A write that the device took only in part.
    static constexpr std::int32_t shortWriteCode = static_cast<std::int32_t>(0xE00002E7);

    static UsbError io(std::int32_t code);
    static UsbError exclusiveAccess() {
        return UsbError(Kind::exclusiveAccess, "exclusiveAccess", 0);
    }
    static UsbError notFound() { return UsbError(Kind::notFound, "notFound", 0); }
    // This user may not open the device: its node is not theirs until the udev rule says so.
    static UsbError access() { return UsbError(Kind::access, "access", 0); }

    // A libusb error code from opening the device or claiming its interface: busy means another
    // program (an ADB server, say) holds the interface.
    static UsbError openFailure(int libusbCode);
    // A libusb error code from any later call.
    static UsbError fromLibusb(int libusbCode);
    // A transfer that did not complete; `aborted` is the caller's to turn into a close.
    static UsbError fromTransfer(UsbTransferStatus status);

    // The platform's code for `io`; 0 for the other cases.
    std::int32_t code() const noexcept { return code_; }

private:
    UsbError(Kind kind, const std::string& message, std::int32_t code)
        : TypedError(kind, message), code_(code) {}

    std::int32_t code_;
};

}  // namespace qm
