#include <gtest/gtest.h>

#include "QuillmereKit/Help/OnboardingModel.h"
#include "QuillmereKit/Help/OnboardingText.h"
#include "QuillmereKit/Help/PhoneVendor.h"

namespace qm {
namespace {

TEST(OnboardingTest, OnlyXiaomiHasThreeUsbStepsAndATapStepWithoutPin) {
    for (const PhoneVendor vendor : allPhoneVendors) {
        SCOPED_TRACE(std::string(rawValue(vendor)));
        const bool xiaomi = vendor == PhoneVendor::xiaomi;
        EXPECT_EQ(usbDebuggingSteps(vendor).size(), xiaomi ? 3 : 2);
        const QStringList developerMode = developerModeSteps(vendor);
        ASSERT_EQ(developerMode.size(), 2);
        EXPECT_EQ(developerMode[1].contains(u"OS version"), xiaomi);
        EXPECT_EQ(developerMode[1].contains(u"PIN"), !xiaomi);
        EXPECT_EQ(phoneVendorFromRawValue(rawValue(vendor)), vendor);
    }
    EXPECT_EQ(phoneVendorFromRawValue("OnePlus"), std::nullopt);
    EXPECT_EQ(phoneVendorFromRawValue(""), std::nullopt);
}

TEST(OnboardingTest, UdevRuleCommandsQuoteAPathTheShellWouldSplit) {
    EXPECT_EQ(OnboardingText::cableSteps()[OnboardingText::udevRuleStep],
              "The first time, let Vantorel open the phone: install its udev rule, then plug the "
              "phone in again.");
    EXPECT_EQ(OnboardingText::udevRuleCommands("/opt/vantorel/share/70-vantorel-adb.rules"),
              QStringList({"sudo install -m 644 /opt/vantorel/share/70-vantorel-adb.rules "
                           "/etc/udev/rules.d/",
                           "sudo udevadm control --reload-rules && sudo udevadm trigger"}));
    EXPECT_EQ(OnboardingText::udevRuleCommands("/home/me/My Apps/it's;rm.rules")[0],
              "sudo install -m 644 '/home/me/My Apps/it'\\''s;rm.rules' /etc/udev/rules.d/");
}

TEST(OnboardingTest, StepFollowsOnlyNoticesThatChangeAndNavigationStaysInRange) {
    OnboardingModel model(ConnectionNotice::allowOnPhone("Pixel 8"));
    model.setVendor(PhoneVendor::xiaomi);
    EXPECT_EQ(model.step(), OnboardingStep::developerMode);
    model.noticeChanged(ConnectionNotice::allowOnPhone("Pixel 8"));
    EXPECT_EQ(model.step(), OnboardingStep::developerMode);

    model.noticeChanged(ConnectionNotice::connectCable());
    EXPECT_EQ(model.step(), OnboardingStep::cable);
    model.select(OnboardingStep::developerMode);
    model.noticeChanged(ConnectionNotice::connectCable());
    EXPECT_EQ(model.step(), OnboardingStep::developerMode);

    model.noticeChanged(ConnectionNotice::allowOnPhone("Pixel 8"));
    EXPECT_EQ(model.step(), OnboardingStep::usbDebugging);
    model.select(OnboardingStep::cable);
    model.noticeChanged(ConnectionNotice::allowOnPhone("Pixel 9"));
    EXPECT_EQ(model.step(), OnboardingStep::usbDebugging);

    model.select(OnboardingStep::cable);
    model.noticeChanged(ConnectionNotice::failed(LinkFailure::noAnswer, "timeout"));
    model.noticeChanged(ConnectionNotice::anotherAdbRunning());
    EXPECT_EQ(model.step(), OnboardingStep::cable);
    EXPECT_EQ(model.vendor(), PhoneVendor::xiaomi);

    EXPECT_FALSE(model.canGoNext());
    model.next();
    EXPECT_EQ(model.step(), OnboardingStep::cable);
    model.back();
    EXPECT_TRUE(model.canGoBack() && model.canGoNext());
    model.back();
    EXPECT_EQ(model.step(), OnboardingStep::developerMode);
    EXPECT_FALSE(model.canGoBack());
    model.back();
    EXPECT_EQ(model.step(), OnboardingStep::developerMode);
    model.next();
    EXPECT_EQ(model.step(), OnboardingStep::usbDebugging);
}

}  // namespace
}  // namespace qm
