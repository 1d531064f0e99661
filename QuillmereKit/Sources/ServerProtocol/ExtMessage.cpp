#include "ServerProtocol/ExtMessage.h"

#include <algorithm>

#include <fmt/format.h>

namespace qm {

namespace {

constexpr std::size_t maxPackageNameLength = 255;

bool isNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::string optionalValue(const std::optional<double>& value) {
    return value ? fmt::format("{}", *value) : "nil";
}

struct Describer {
    std::string operator()(const ext::Hello& m) const {
        return fmt::format("hello(version: {})", m.version);
    }
    std::string operator()(const ext::Ping& m) const {
        return fmt::format("ping(clientNanos: {})", m.clientNanos);
    }
    std::string operator()(const ext::ListApps& m) const {
        return fmt::format("listApps(includeAll: {})", m.includeAll);
    }
    std::string operator()(const ext::SubscribeTelemetry& m) const {
        return fmt::format("subscribeTelemetry(intervalMillis: {})", m.intervalMillis);
    }
    std::string operator()(const ext::HelloAck& m) const {
        return fmt::format("helloAck(version: {}, phoneMonotonicNanos: {}, phoneWallMillis: {})",
                           m.version, m.phoneMonotonicNanos, m.phoneWallMillis);
    }
    std::string operator()(const ext::Pong& m) const {
        return fmt::format("pong(clientNanos: {}, phoneMonotonicNanos: {})", m.clientNanos,
                           m.phoneMonotonicNanos);
    }
    std::string operator()(const ext::AppList& m) const {
        return fmt::format("appList({} apps)", m.apps.size());
    }
    std::string operator()(const ext::Telemetry& m) const {
        const PhoneTelemetry& t = m.telemetry;
        return fmt::format(
            "telemetry(thermalStatus: {}, cpuTempCelsius: {}, batteryPercent: {}, "
            "batteryTempCelsius: {}, charging: {}, encoder: {})",
            t.thermalStatus, optionalValue(t.cpuTempCelsius), t.batteryPercent,
            optionalValue(t.batteryTempCelsius), t.charging, t.encoder ? "present" : "nil");
    }
    std::string operator()(const ext::Error& m) const {
        return fmt::format("error(\"{}\")", m.text);
    }
};

}  // namespace

bool AppInfo::isValidPackageName(std::string_view name) noexcept {
    if (name.empty() || name.size() > maxPackageNameLength || name.front() == '.' ||
        name.back() == '.' || name.find("..") != std::string_view::npos) {
        return false;
    }
    return std::ranges::all_of(name, [](char c) { return c == '.' || isNameCharacter(c); });
}

std::string describe(const ExtMessage& message) {
    return std::visit(Describer{}, message);
}

}  // namespace qm
