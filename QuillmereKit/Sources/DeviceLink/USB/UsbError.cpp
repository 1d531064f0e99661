#include "DeviceLink/USB/UsbError.h"

#include <libusb.h>

namespace qm {

UsbError UsbError::io(std::int32_t code) {
    return UsbError(Kind::io, "io(" + std::to_string(code) + ")", code);
}

UsbError UsbError::openFailure(int libusbCode) {
    if (libusbCode == LIBUSB_ERROR_BUSY) {
        return exclusiveAccess();
    }
    return fromLibusb(libusbCode);
}

UsbError UsbError::fromLibusb(int libusbCode) {
    switch (libusbCode) {
        case LIBUSB_ERROR_NO_DEVICE:
        case LIBUSB_ERROR_NOT_FOUND:
            return notFound();
        case LIBUSB_ERROR_ACCESS:  // libusb's name for the node's EACCES and EPERM
            return access();
        default:
            return io(libusbCode);
    }
}

UsbError UsbError::fromTransfer(UsbTransferStatus status) {
    switch (status) {
        case UsbTransferStatus::noDevice:
            return notFound();
        case UsbTransferStatus::timedOut:
            return io(LIBUSB_ERROR_TIMEOUT);
        case UsbTransferStatus::stalled:
            return io(LIBUSB_ERROR_PIPE);
        case UsbTransferStatus::overflow:
            return io(LIBUSB_ERROR_OVERFLOW);
        case UsbTransferStatus::aborted:
            return io(LIBUSB_ERROR_INTERRUPTED);
        case UsbTransferStatus::completed:
        case UsbTransferStatus::failed:
            break;
    }
    return io(LIBUSB_ERROR_IO);
}

}  // namespace qm
