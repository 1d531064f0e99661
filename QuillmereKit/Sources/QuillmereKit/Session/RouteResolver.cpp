#include "QuillmereKit/Session/RouteResolver.h"

#include <type_traits>

namespace qm {

RouteDecision RouteResolver::resolve(const DeviceLinkState& state, bool isStreaming) {
    if (isStreaming) {
        return RouteDecision::stay();
    }
    return std::visit(
        [](const auto& s) {
            using S = std::decay_t<decltype(s)>;
            if constexpr (std::is_same_v<S, DeviceLinkState::Unauthorized>) {
                return RouteDecision::onboarding(
                    ConnectionNotice::allowOnPhone(s.device.productName));
            } else if constexpr (std::is_same_v<S, DeviceLinkState::Connected>) {
                return RouteDecision::library(s.info);
            } else if constexpr (std::is_same_v<S, DeviceLinkState::Failed>) {
                return RouteDecision::onboarding(ConnectionNotice::failed(s.cause, s.reason));
            } else if constexpr (std::is_same_v<S, DeviceLinkState::NoDevice>) {
                return RouteDecision::onboarding(ConnectionNotice::connectCable());
            } else if constexpr (std::is_same_v<S, DeviceLinkState::NoPermission>) {
                return RouteDecision::onboarding(ConnectionNotice::usbPermission());
            } else if constexpr (std::is_same_v<S, DeviceLinkState::NoUsb>) {
                return RouteDecision::onboarding(ConnectionNotice::noUsb());
            } else {
                static_assert(std::is_same_v<S, DeviceLinkState::Busy>);
                return RouteDecision::onboarding(ConnectionNotice::anotherAdbRunning());
            }
        },
        state.value);
}

}  // namespace qm
