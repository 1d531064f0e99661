#include "DeviceLink/DeviceInfo.h"

#include <charconv>
#include <limits>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "DeviceLink/AdbMessage.h"
#include "QuillmereCore/UnicodeText.h"

namespace qm {

void to_json(nlohmann::json& json, const DeviceInfo& info) {
    json = nlohmann::json{{"serial", info.serial},
                          {"manufacturer", info.manufacturer},
                          {"model", info.model},
                          {"androidRelease", info.androidRelease},
                          {"sdk", info.sdk}};
}

void from_json(const nlohmann::json& json, DeviceInfo& info) {
    const nlohmann::json& sdk = json.at("sdk");
    const bool inRange =
        sdk.is_number_integer() &&
        (!sdk.is_number_unsigned() ||
         sdk.get<std::uint64_t>() <= std::uint64_t(std::numeric_limits<std::int64_t>::max()));
    if (!inRange) {
        throw nlohmann::json::type_error::create(302, "sdk must be a 64-bit integer", &sdk);
    }
    info =
        DeviceInfo{json.at("serial").get<std::string>(), json.at("manufacturer").get<std::string>(),
                   json.at("model").get<std::string>(),
                   json.at("androidRelease").get<std::string>(), sdk.get<std::int64_t>()};
}

namespace DeviceInfoQuery {

namespace {

std::optional<std::int64_t> decimal(std::string_view text) {
    if (text.size() > 1 && text[0] == '+' && text[1] != '-') {
        text.remove_prefix(1);
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

DeviceInfo parse(std::string_view output) {
    const std::vector<std::string_view> lines = UnicodeText::splitLines(output);
    if (lines.size() < properties.size()) {
        throw AdbError::protocolViolation("getprop returned " + std::to_string(lines.size()) +
                                          " lines");
    }
    std::string_view values[5];
    for (std::size_t i = 0; i < properties.size(); ++i) {
        values[i] = UnicodeText::trimmed(lines[i]);
    }
    const auto sdk = decimal(values[4]);
    if (!sdk) {
        throw AdbError::protocolViolation("bad ro.build.version.sdk: " +
                                          UnicodeText::excerpt(values[4]));
    }
    return DeviceInfo{std::string(values[0]), std::string(values[1]), std::string(values[2]),
                      std::string(values[3]), *sdk};
}

}  // namespace DeviceInfoQuery

}  // namespace qm
