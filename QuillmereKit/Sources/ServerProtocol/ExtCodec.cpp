#include "ServerProtocol/ExtCodec.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include <fmt/format.h>

#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/BinaryReader.h"
#include "QuillmereCore/BinaryWriter.h"
#include "QuillmereCore/UnicodeText.h"
#include "ServerProtocol/ControlMessageEncoder.h"

namespace qm::ExtCodec {

namespace {

enum Type : std::uint8_t {
    hello = 0x01,
    ping = 0x02,
    listApps = 0x03,
    subscribeTelemetry = 0x04,
    helloAck = 0x81,
    pong = 0x82,
    appList = 0x83,
    telemetry = 0x84,
    error = 0xFF,
};

constexpr std::uint8_t chargingFlag = 0x01;
constexpr std::uint8_t cpuTempFlag = 0x02;
constexpr std::uint8_t batteryTempFlag = 0x04;
constexpr std::size_t encoderBlockSize = 18;
// Room reserved up front for an app list, whatever count the header claims.
constexpr std::uint32_t maxReservedApps = 4096;

template <typename T>
T clamped(std::int64_t value) {
    return static_cast<T>(std::clamp<std::int64_t>(value, std::numeric_limits<T>::min(),
                                                   std::numeric_limits<T>::max()));
}

// Hundredths of a degree; absent and non-finite temperatures are written as 0.
std::int16_t centi(std::optional<double> celsius) {
    if (!celsius || !std::isfinite(*celsius)) {
        return 0;
    }
    const double scaled = std::round(*celsius * 100.0);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768.0, 32767.0));
}

void writeString(BinaryWriter& out, std::string_view text) {
    // Cut whole characters only: a split sequence would reach the phone as ill-formed UTF-8.
    out.lengthPrefixed(ControlMessageEncoder::utf8Prefix(text, maxTextBytes), 2);
}

std::string readString(BinaryReader& in) {
    return UnicodeText::decodeUTF8(in.lengthPrefixed(2));
}

void encodeTelemetry(const PhoneTelemetry& t, BinaryWriter& out) {
    std::uint8_t flags = t.charging ? chargingFlag : 0;
    flags |= t.cpuTempCelsius ? cpuTempFlag : 0;
    flags |= t.batteryTempCelsius ? batteryTempFlag : 0;
    out.u8(static_cast<std::uint8_t>(clamped<std::int8_t>(t.thermalStatus)));
    out.u8(static_cast<std::uint8_t>(clamped<std::int8_t>(t.batteryPercent)));
    out.u8(flags);
    out.i16(centi(t.cpuTempCelsius));
    out.i16(centi(t.batteryTempCelsius));
    if (const auto& e = t.encoder) {
        out.u16(clamped<std::uint16_t>(e->frames));
        for (const std::int64_t value : {e->p50Micros, e->p90Micros, e->maxMicros, e->bytes}) {
            out.u32(clamped<std::uint32_t>(value));
        }
    }
}

PhoneEncoderStats decodeEncoderStats(BinaryReader& in) {
    if (in.remaining() < encoderBlockSize) {
        throw BinaryError::truncated();
    }
    PhoneEncoderStats stats;
    stats.frames = in.u16();
    stats.p50Micros = in.u32();
    stats.p90Micros = in.u32();
    stats.maxMicros = in.u32();
    stats.bytes = in.u32();
    return stats;
}

PhoneTelemetry decodeTelemetry(BinaryReader& in) {
    PhoneTelemetry t;
    t.thermalStatus = static_cast<std::int8_t>(in.u8());
    t.batteryPercent = static_cast<std::int8_t>(in.u8());
    const std::uint8_t flags = in.u8();
    const std::int16_t cpu = in.i16();
    const std::int16_t battery = in.i16();
    if (in.remaining() > 0) {
        t.encoder = decodeEncoderStats(in);
    }
    if ((flags & cpuTempFlag) != 0) {
        t.cpuTempCelsius = cpu / 100.0;
    }
    if ((flags & batteryTempFlag) != 0) {
        t.batteryTempCelsius = battery / 100.0;
    }
    t.charging = (flags & chargingFlag) != 0;
    return t;
}

std::vector<AppInfo> decodeApps(BinaryReader& in) {
    const std::uint32_t count = in.u32();
    std::vector<AppInfo> apps;
    // The count is not trusted: the payload runs out long before a bogus count is reached.
    apps.reserve(std::min(count, maxReservedApps));
    for (std::uint32_t i = 0; i < count; ++i) {
        AppInfo app;
        app.packageName = readString(in);
        // It names files and reaches views: nothing outside Android's grammar passes.
        if (!AppInfo::isValidPackageName(app.packageName)) {
            throw BinaryError::invalid("an app's package name is not a valid Android package name");
        }
        app.label = readString(in);
        app.isGame = (in.u8() & 1) != 0;
        app.lastUsedMillis = in.i64();
        app.iconPNG = in.lengthPrefixed(4);
        apps.push_back(std::move(app));
    }
    return apps;
}

struct PayloadWriter {
    BinaryWriter& out;

    std::uint8_t operator()(const ext::Hello& m) {
        out.u16(m.version);
        return hello;
    }
    std::uint8_t operator()(const ext::Ping& m) {
        out.u64(m.clientNanos);
        return ping;
    }
    std::uint8_t operator()(const ext::ListApps& m) {
        out.u8(m.includeAll ? 1 : 0);
        return listApps;
    }
    std::uint8_t operator()(const ext::SubscribeTelemetry& m) {
        out.u16(m.intervalMillis);
        return subscribeTelemetry;
    }
    std::uint8_t operator()(const ext::HelloAck& m) {
        out.u16(m.version);
        out.i64(m.phoneMonotonicNanos);
        out.i64(m.phoneWallMillis);
        return helloAck;
    }
    std::uint8_t operator()(const ext::Pong& m) {
        out.u64(m.clientNanos);
        out.i64(m.phoneMonotonicNanos);
        return pong;
    }
    std::uint8_t operator()(const ext::AppList& m) {
        out.u32(static_cast<std::uint32_t>(m.apps.size()));
        for (const AppInfo& app : m.apps) {
            writeString(out, app.packageName);
            writeString(out, app.label);
            out.u8(app.isGame ? 1 : 0);
            out.i64(app.lastUsedMillis);
            out.lengthPrefixed(app.iconPNG, 4);
        }
        return appList;
    }
    std::uint8_t operator()(const ext::Telemetry& m) {
        encodeTelemetry(m.telemetry, out);
        return telemetry;
    }
    std::uint8_t operator()(const ext::Error& m) {
        writeString(out, m.text);
        return error;
    }
};

ExtMessage decodeFields(std::uint8_t type, BinaryReader& in) {
    switch (type) {
        case hello:
            return ext::Hello{in.u16()};
        case ping:
            return ext::Ping{in.u64()};
        case listApps:
            return ext::ListApps{in.u8() != 0};
        case subscribeTelemetry:
            return ext::SubscribeTelemetry{in.u16()};
        case helloAck: {
            ext::HelloAck m;
            m.version = in.u16();
            m.phoneMonotonicNanos = in.i64();
            m.phoneWallMillis = in.i64();
            return m;
        }
        case pong: {
            ext::Pong m;
            m.clientNanos = in.u64();
            m.phoneMonotonicNanos = in.i64();
            return m;
        }
        case appList:
            return ext::AppList{decodeApps(in)};
        case telemetry:
            return ext::Telemetry{decodeTelemetry(in)};
        case error:
            return ext::Error{readString(in)};
        default:
            throw BinaryError::invalid(fmt::format("unknown ext message type 0x{:02x}", type));
    }
}

ExtMessage decode(std::uint8_t type, Bytes payload) {
    BinaryReader in(std::move(payload));
    ExtMessage message = decodeFields(type, in);
    if (in.remaining() > 0) {
        throw BinaryError::invalid(
            fmt::format("ext message 0x{:x} has {} trailing bytes", type, in.remaining()));
    }
    return message;
}

}  // namespace

Bytes encode(const ExtMessage& message) {
    BinaryWriter out;
    out.u8(0);
    out.u32(0);
    const std::uint8_t type = std::visit(PayloadWriter{out}, message);
    Bytes frame = out.take();
    const auto length = static_cast<std::uint32_t>(frame.size() - headerSize);
    frame[0] = type;
    for (int i = 0; i < 4; ++i) {
        frame[1 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    }
    return frame;
}

ExtMessage next(ByteSource& source, std::stop_token stop) {
    std::array<std::uint8_t, headerSize> header{};
    source.readExactly(header, stop);
    const std::uint32_t length = (std::uint32_t{header[1]} << 24) |
                                 (std::uint32_t{header[2]} << 16) |
                                 (std::uint32_t{header[3]} << 8) | header[4];
    if (length > maxPayloadSize) {
        throw BinaryError::invalid(fmt::format("ext frame too large: {} bytes", length));
    }
    return decode(header[0], source.readExactly(length, std::move(stop)));
}

}  // namespace qm::ExtCodec
