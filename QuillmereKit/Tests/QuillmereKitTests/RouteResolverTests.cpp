#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "QuillmereKit/Session/RouteResolver.h"

namespace qm {
namespace {

TEST(RouteResolverTest, EachConnectionStateLeadsToItsScreenUnlessAStreamIsShown) {
    const DeviceInfo phone{"serial", "Maker", "Model", "14", 34};
    struct Case {
        DeviceLinkState state;
        RouteDecision decision;
        std::optional<OnboardingStep> highlighted;
    };
    const std::vector<Case> cases = {
        {DeviceLinkState::unauthorized(UsbAdbDevice::make(1, "s", "")),
         RouteDecision::onboarding(ConnectionNotice::allowOnPhone("")),
         OnboardingStep::usbDebugging},
        {DeviceLinkState::connected(phone), RouteDecision::library(phone), std::nullopt},
        {DeviceLinkState::failed(LinkFailure::refused, "r"),
         RouteDecision::onboarding(ConnectionNotice::failed(LinkFailure::refused, "r")),
         std::nullopt},
        {DeviceLinkState::noDevice(), RouteDecision::onboarding(ConnectionNotice::connectCable()),
         OnboardingStep::cable},
        {DeviceLinkState::busy(), RouteDecision::onboarding(ConnectionNotice::anotherAdbRunning()),
         std::nullopt},
        // The udev rule that grants permission is installed in the cable step.
        {DeviceLinkState::noPermission(UsbAdbDevice::make(1, "s", "")),
         RouteDecision::onboarding(ConnectionNotice::usbPermission()), OnboardingStep::cable},
        {DeviceLinkState::noUsb("/dev/bus/usb is missing"),
         RouteDecision::onboarding(ConnectionNotice::noUsb()), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.state.caseName()));
        const RouteDecision decision = RouteResolver::resolve(c.state, false);
        EXPECT_EQ(decision, c.decision);
        if (const auto* onboarding = std::get_if<RouteDecision::Onboarding>(&decision.value)) {
            EXPECT_EQ(onboarding->notice.highlightedStep(), c.highlighted);
        }
        EXPECT_EQ(RouteResolver::resolve(c.state, true), RouteDecision::stay());
    }
    EXPECT_NE(ConnectionNotice::failed(LinkFailure::refused, "a"),
              ConnectionNotice::failed(LinkFailure::refused, "b"));
    EXPECT_NE(ConnectionNotice::failed(LinkFailure::refused, "a"),
              ConnectionNotice::failed(LinkFailure::unplugged, "a"));
    EXPECT_NE(ConnectionNotice::failed(LinkFailure::refused, "a"),
              ConnectionNotice::allowOnPhone("a"));
}

TEST(RouteResolverTest, OnlyOneToThreeNameAnOnboardingStep) {
    EXPECT_EQ(fromRawValue<OnboardingStep>(1), OnboardingStep::developerMode);
    EXPECT_EQ(fromRawValue<OnboardingStep>(3), OnboardingStep::cable);
    for (const int raw : {0, 4, -1, std::numeric_limits<int>::min()}) {
        EXPECT_EQ(fromRawValue<OnboardingStep>(raw), std::nullopt) << raw;
    }
}

}  // namespace
}  // namespace qm
