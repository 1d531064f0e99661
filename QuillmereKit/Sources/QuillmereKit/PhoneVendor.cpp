#include "QuillmereKit/PhoneVendor.h"

#include <QCoreApplication>

#include "QuillmereKit/OnboardingText.h"

namespace qm {

namespace {

constexpr const char* buildNumberStep =
    QT_TRANSLATE_NOOP("Onboarding", "Tap “Build number” 7 times and enter your PIN.");
constexpr const char* usbDebuggingSwitch =
    QT_TRANSLATE_NOOP("Onboarding", "Turn on “USB debugging”.");

}  // namespace

std::string_view rawValue(PhoneVendor vendor) noexcept {
    switch (vendor) {
        case PhoneVendor::oneplus:
            return "oneplus";
        case PhoneVendor::samsung:
            return "samsung";
        case PhoneVendor::xiaomi:
            return "xiaomi";
        case PhoneVendor::pixel:
            break;
    }
    return "pixel";
}

std::optional<PhoneVendor> phoneVendorFromRawValue(std::string_view raw) noexcept {
    for (const PhoneVendor vendor : allPhoneVendors) {
        if (rawValue(vendor) == raw) {
            return vendor;
        }
    }
    return std::nullopt;
}

QString title(PhoneVendor vendor) {
    switch (vendor) {
        case PhoneVendor::oneplus:
            return QStringLiteral("OnePlus");
        case PhoneVendor::samsung:
            return QStringLiteral("Samsung");
        case PhoneVendor::xiaomi:
            return QStringLiteral("Xiaomi");
        case PhoneVendor::pixel:
            break;
    }
    return QStringLiteral("Pixel");
}

QStringList developerModeSteps(PhoneVendor vendor) {
    switch (vendor) {
        case PhoneVendor::oneplus:
            return OnboardingText::translated(
                {QT_TRANSLATE_NOOP("Onboarding", "Open Settings → About device → Version."),
                 buildNumberStep});
        case PhoneVendor::samsung:
            return OnboardingText::translated(
                {QT_TRANSLATE_NOOP("Onboarding",
                                   "Open Settings → About phone → Software information."),
                 buildNumberStep});
        case PhoneVendor::xiaomi:
            return OnboardingText::translated(
                {QT_TRANSLATE_NOOP("Onboarding", "Open Settings → About phone."),
                 QT_TRANSLATE_NOOP("Onboarding", "Tap “OS version” (or “MIUI version”) 7 times.")});
        case PhoneVendor::pixel:
            break;
    }
    return OnboardingText::translated(
        {QT_TRANSLATE_NOOP("Onboarding", "Open Settings → About phone."), buildNumberStep});
}

QStringList usbDebuggingSteps(PhoneVendor vendor) {
    switch (vendor) {
        case PhoneVendor::oneplus:
            return OnboardingText::translated(
                {QT_TRANSLATE_NOOP("Onboarding",
                                   "Open Settings → System settings → Developer options."),
                 usbDebuggingSwitch});
        case PhoneVendor::samsung:
            return OnboardingText::translated(
                {QT_TRANSLATE_NOOP("Onboarding", "Open Settings → Developer options."),
                 usbDebuggingSwitch});
        case PhoneVendor::xiaomi:
            return OnboardingText::translated(
                {QT_TRANSLATE_NOOP("Onboarding",
                                   "Open Settings → Additional settings → Developer options."),
                 usbDebuggingSwitch,
                 QT_TRANSLATE_NOOP("Onboarding",
                                   "Also turn on “USB debugging (Security settings)” — it lets "
                                   "the PC tap and type. Xiaomi may ask you to sign in to a Mi "
                                   "account.")});
        case PhoneVendor::pixel:
            break;
    }
    return OnboardingText::translated(
        {QT_TRANSLATE_NOOP("Onboarding", "Open Settings → System → Developer options."),
         usbDebuggingSwitch});
}

}  // namespace qm
