#include "QuillmereKit/Help/PhoneVendor.h"

#include <QCoreApplication>
#include <algorithm>

#include "QuillmereKit/Help/OnboardingText.h"

namespace qm {

namespace {

// In the order of the cases.
constexpr std::array<std::string_view, 4> rawValues{"oneplus", "samsung", "xiaomi", "pixel"};
constexpr std::array<const char*, 4> titles{"OnePlus", "Samsung", "Xiaomi", "Pixel"};

constexpr const char* buildNumberStep =
    QT_TRANSLATE_NOOP("Onboarding", "Tap “Build number” 7 times and enter your PIN.");
constexpr const char* usbDebuggingSwitch =
    QT_TRANSLATE_NOOP("Onboarding", "Turn on “USB debugging”.");

}  // namespace

std::string_view rawValue(PhoneVendor vendor) noexcept {
    return rawValues[static_cast<std::size_t>(vendor)];
}

std::optional<PhoneVendor> phoneVendorFromRawValue(std::string_view raw) noexcept {
    const auto found = std::find(rawValues.begin(), rawValues.end(), raw);
    if (found == rawValues.end()) {
        return std::nullopt;
    }
    return static_cast<PhoneVendor>(found - rawValues.begin());
}

QString title(PhoneVendor vendor) {
    return QString::fromLatin1(titles[static_cast<std::size_t>(vendor)]);
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
