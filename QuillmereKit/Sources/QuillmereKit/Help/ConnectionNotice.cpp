#include "QuillmereKit/Help/ConnectionNotice.h"

namespace qm {

template <>
std::optional<OnboardingStep> fromRawValue<OnboardingStep>(int raw) noexcept {
    if (raw < rawValue(OnboardingStep::developerMode) || raw > rawValue(OnboardingStep::cable)) {
        return std::nullopt;
    }
    return static_cast<OnboardingStep>(raw);
}

std::optional<OnboardingStep> ConnectionNotice::highlightedStep() const noexcept {
    switch (kind) {
        case Kind::allowOnPhone:
            return OnboardingStep::usbDebugging;
        case Kind::connectCable:
        case Kind::usbPermission:
            return OnboardingStep::cable;
        case Kind::failed:
        case Kind::anotherAdbRunning:
        case Kind::noUsb:
            break;
    }
    return std::nullopt;
}

}  // namespace qm
