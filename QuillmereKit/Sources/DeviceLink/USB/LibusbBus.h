#pragma once

#include "DeviceLink/USB/UsbBus.h"

namespace qm {

namespace LibusbBus {
// This machine's USB through a libusb context of its own; unavailable without a USB bus (no
// /dev/bus/usb, as in many containers) or when libusb cannot start.
UsbBusResult open();
}  // namespace LibusbBus

}  // namespace qm
