#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <string_view>

namespace qm {

// The phone brands the onboarding screen has instructions for, in the order of its brand picker.
// The raw value is the case name.
enum class PhoneVendor { oneplus, samsung, xiaomi, pixel };

inline constexpr std::array<PhoneVendor, 4> allPhoneVendors{
    PhoneVendor::oneplus, PhoneVendor::samsung, PhoneVendor::xiaomi, PhoneVendor::pixel};

std::string_view rawValue(PhoneVendor vendor) noexcept;
// Exact, case-sensitive names.
std::optional<PhoneVendor> phoneVendorFromRawValue(std::string_view raw) noexcept;

// The brand as it is written everywhere; brand names are not translated.
QString title(PhoneVendor vendor);

// Translated steps, without numbers, in order; built on each call so a change of language shows.
QStringList developerModeSteps(PhoneVendor vendor);
QStringList usbDebuggingSteps(PhoneVendor vendor);

}  // namespace qm
