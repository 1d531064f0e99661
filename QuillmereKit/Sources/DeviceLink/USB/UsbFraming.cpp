#include "DeviceLink/USB/UsbFraming.h"

#include <algorithm>

namespace qm {

UsbBulkEndpoints UsbBulkEndpoints::select(std::span<const UsbEndpointInfo> endpoints) {
    const auto in = std::find_if(endpoints.begin(), endpoints.end(),
                                 [](const UsbEndpointInfo& e) { return e.isBulk && e.isIn; });
    const auto out = std::find_if(endpoints.begin(), endpoints.end(),
                                  [](const UsbEndpointInfo& e) { return e.isBulk && !e.isIn; });
    if (in == endpoints.end() || out == endpoints.end()) {
        throw UsbError::notFound();
    }
    return {*in, *out};
}

}  // namespace qm
