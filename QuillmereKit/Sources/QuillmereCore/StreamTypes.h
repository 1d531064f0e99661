#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <variant>

#include <nlohmann/json_fwd.hpp>

#include "QuillmereCore/Bytes.h"
#include "QuillmereCore/RawValue.h"

namespace qm {

// Raw values are the codec ids the device server writes at the head of each media socket.
enum class VideoCodec : std::uint32_t {
    h264 = 0x68323634,  // "h264"
    h265 = 0x68323635,  // "h265"
};

enum class AudioCodec : std::uint32_t {
    raw = 0x00726177,  // 00 "raw"
};

template <>
std::optional<VideoCodec> fromRawValue<VideoCodec>(std::uint32_t raw) noexcept;
template <>
std::optional<AudioCodec> fromRawValue<AudioCodec>(std::uint32_t raw) noexcept;

// The value of the server's codec options.
std::string_view serverName(VideoCodec codec) noexcept;
std::string_view serverName(AudioCodec codec) noexcept;

// Coded as the raw value, a single unsigned number.
void to_json(nlohmann::json& json, VideoCodec codec);
void from_json(const nlohmann::json& json, VideoCodec& codec);

struct VideoSize {
    int width = 0;
    int height = 0;

    bool operator==(const VideoSize&) const = default;
};

// Coded as {"width": int, "height": int}, both required.
void to_json(nlohmann::json& json, const VideoSize& size);
void from_json(const nlohmann::json& json, VideoSize& size);

struct StreamPacket {
    enum class Kind { config, keyFrame, frame };

    Kind kind = Kind::frame;
    std::optional<std::int64_t> ptsMicros;  // absent for config packets
    Bytes data;

    bool operator==(const StreamPacket&) const = default;
};

// The server starts a new video session of this frame size.
struct StreamSession {
    VideoSize size;
    bool clientResized = false;  // the client caused the resize

    bool operator==(const StreamSession&) const = default;
};

// What one read of a media socket yields.
using StreamEvent = std::variant<StreamSession, StreamPacket>;

}  // namespace qm

template <>
struct std::hash<qm::VideoSize> {
    std::size_t operator()(const qm::VideoSize& size) const noexcept {
        return std::hash<std::uint64_t>{}((std::uint64_t(std::uint32_t(size.width)) << 32) |
                                          std::uint32_t(size.height));
    }
};
