#include "DeviceLink/DeviceLinkState.h"

namespace qm {

std::string_view DeviceLinkState::caseName() const noexcept {
    constexpr std::string_view names[] = {"unauthorized", "connected",    "failed", "noDevice",
                                          "busy",         "noPermission", "noUsb"};
    static_assert(std::size(names) == std::variant_size_v<decltype(value)>);
    return names[value.index()];
}

}  // namespace qm
