#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace qm {

// The connected phone's identity and Android version.
struct DeviceInfo {
    // Android 11; older phones are refused.
    static constexpr std::int64_t minimumSdk = 30;

    std::string serial;
    std::string manufacturer;
    std::string model;
    std::string androidRelease;
    std::int64_t sdk = 0;

    bool isSupported() const noexcept { return sdk >= minimumSdk; }
    bool operator==(const DeviceInfo&) const = default;
};

// Coded as {"serial", "manufacturer", "model", "androidRelease": string, "sdk": integer}, all
// required.
void to_json(nlohmann::json& json, const DeviceInfo& info);
void from_json(const nlohmann::json& json, DeviceInfo& info);

// The one shell command that reads the phone's identity, and the parse of its output.
namespace DeviceInfoQuery {

inline constexpr std::array<std::string_view, 5> properties = {
    "ro.serialno", "ro.product.manufacturer", "ro.product.model", "ro.build.version.release",
    "ro.build.version.sdk"};

inline constexpr std::string_view command =
    "getprop ro.serialno;getprop ro.product.manufacturer;getprop ro.product.model;"
    "getprop ro.build.version.release;getprop ro.build.version.sdk";

// One value per line, in the order of `properties`; throws AdbError protocolViolation.
DeviceInfo parse(std::string_view output);

}  // namespace DeviceInfoQuery

}  // namespace qm
