#pragma once

#include <array>
#include <optional>
#include <string>
#include <utility>

#include "DeviceLink/DeviceLinkState.h"
#include "QuillmereCore/RawValue.h"

namespace qm {

// The three steps the onboarding screen explains, in the order it shows them. The raw value is
// the number the screen prints.
enum class OnboardingStep : int { developerMode = 1, usbDebugging = 2, cable = 3 };

inline constexpr std::array<OnboardingStep, 3> allOnboardingSteps{
    OnboardingStep::developerMode, OnboardingStep::usbDebugging, OnboardingStep::cable};

// Exactly 1, 2 and 3 give a step.
template <>
std::optional<OnboardingStep> fromRawValue<OnboardingStep>(int raw) noexcept;

// Why the onboarding screen is shown: what is wrong with the phone's connection.
struct ConnectionNotice {
    enum class Kind {
        allowOnPhone,       // attached, but this computer's key is not yet allowed
        failed,             // connecting failed; `text` is the device link's reason, for the log
        connectCable,       // no phone is attached
        anotherAdbRunning,  // another program holds the phone's ADB interface
        usbPermission,      // this user may not open the phone's USB device: no udev rule yet
        noUsb,              // USB cannot be used on this computer at all
    };

    // `productName` is the phone's USB product name.
    static ConnectionNotice allowOnPhone(std::string productName) {
        return {Kind::allowOnPhone, std::move(productName)};
    }
    static ConnectionNotice failed(LinkFailure cause, std::string reason) {
        return {Kind::failed, std::move(reason), cause};
    }
    static ConnectionNotice connectCable() { return {Kind::connectCable, {}}; }
    static ConnectionNotice anotherAdbRunning() { return {Kind::anotherAdbRunning, {}}; }
    static ConnectionNotice usbPermission() { return {Kind::usbPermission, {}}; }
    static ConnectionNotice noUsb() { return {Kind::noUsb, {}}; }

    Kind kind = Kind::connectCable;
    std::string text;  // the product name or the reason, as the phone or the link gave it
    LinkFailure cause = LinkFailure::handshakeFailed;  // what a person is told of a failure

    // The step the screen highlights for this notice; developer mode never is. The cable step
    // holds the udev rule that USB permission needs.
    std::optional<OnboardingStep> highlightedStep() const noexcept;

    bool operator==(const ConnectionNotice&) const = default;
};

}  // namespace qm
