#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "QuillmereCore/Bytes.h"

namespace qm {

// An app installed on the phone.
struct AppInfo {
    std::string packageName;
    std::string label;
    bool isGame = false;
    std::int64_t lastUsedMillis = 0;
    Bytes iconPNG;  // a PNG file; may be empty

    // Android's grammar: letters, digits and "_" in dot-separated pieces, none empty, at most 255
    // in all.
    static bool isValidPackageName(std::string_view name) noexcept;

    bool operator==(const AppInfo&) const = default;
};

// The server's video encoder over the last telemetry period.
struct PhoneEncoderStats {
    std::int64_t frames = 0;
    std::int64_t p50Micros = 0;
    std::int64_t p90Micros = 0;
    std::int64_t maxMicros = 0;
    std::int64_t bytes = 0;

    bool hasFrames() const noexcept { return frames > 0; }
    double p50Millis() const noexcept { return static_cast<double>(p50Micros) / 1000.0; }
    double p90Millis() const noexcept { return static_cast<double>(p90Micros) / 1000.0; }
    double maxMillis() const noexcept { return static_cast<double>(maxMicros) / 1000.0; }
    double bytesPerFrame() const noexcept {
        return frames < 1 ? 0.0 : static_cast<double>(bytes) / static_cast<double>(frames);
    }

    bool operator==(const PhoneEncoderStats&) const = default;
};

struct PhoneTelemetry {
    int thermalStatus = 0;
    std::optional<double> cpuTempCelsius;
    int batteryPercent = 0;
    std::optional<double> batteryTempCelsius;
    bool charging = false;
    std::optional<PhoneEncoderStats> encoder;

    bool operator==(const PhoneTelemetry&) const = default;
};

// The extension channel's messages, one struct per case. The first four go from the computer
// to the phone, the others back.
namespace ext {

struct Hello {
    std::uint16_t version = 0;
    bool operator==(const Hello&) const = default;
};

// Clock sync: the phone echoes `clientNanos` in its pong.
struct Ping {
    std::uint64_t clientNanos = 0;
    bool operator==(const Ping&) const = default;
};

struct ListApps {
    bool includeAll = false;  // all apps instead of the server's own selection
    bool operator==(const ListApps&) const = default;
};

struct SubscribeTelemetry {
    std::uint16_t intervalMillis = 0;
    bool operator==(const SubscribeTelemetry&) const = default;
};

struct HelloAck {
    std::uint16_t version = 0;
    std::int64_t phoneMonotonicNanos = 0;
    std::int64_t phoneWallMillis = 0;
    bool operator==(const HelloAck&) const = default;
};

struct Pong {
    std::uint64_t clientNanos = 0;
    std::int64_t phoneMonotonicNanos = 0;
    bool operator==(const Pong&) const = default;
};

struct AppList {
    std::vector<AppInfo> apps;
    bool operator==(const AppList&) const = default;
};

struct Telemetry {
    PhoneTelemetry telemetry;
    bool operator==(const Telemetry&) const = default;
};

struct Error {
    std::string text;
    bool operator==(const Error&) const = default;
};

}  // namespace ext

using ExtMessage = std::variant<ext::Hello, ext::Ping, ext::ListApps, ext::SubscribeTelemetry,
                                ext::HelloAck, ext::Pong, ext::AppList, ext::Telemetry, ext::Error>;

// Names the case and its values, for logs and error texts.
std::string describe(const ExtMessage& message);

}  // namespace qm
