#pragma once

#include <memory>

#include "DeviceLink/USB/UsbAdbDevice.h"
#include "DeviceLink/USB/UsbInterface.h"

namespace qm {

namespace LibusbInterface {
// Finds the device by the interface ID, opens it and claims the interface, with
// the interface's transfer completions handled on a "usb.interface" thread. Throws UsbError:
// notFound when the device is gone, exclusiveAccess when another program holds the interface.
std::unique_ptr<UsbInterface> open(const UsbAdbDevice& device);
}  // namespace LibusbInterface

}  // namespace qm
