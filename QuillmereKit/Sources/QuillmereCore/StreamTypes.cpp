#include "QuillmereCore/StreamTypes.h"

#include <limits>

#include <nlohmann/json.hpp>

namespace qm {

template <>
std::optional<VideoCodec> fromRawValue<VideoCodec>(std::uint32_t raw) noexcept {
    switch (static_cast<VideoCodec>(raw)) {
        case VideoCodec::h264:
        case VideoCodec::h265:
            return static_cast<VideoCodec>(raw);
    }
    return std::nullopt;
}

template <>
std::optional<AudioCodec> fromRawValue<AudioCodec>(std::uint32_t raw) noexcept {
    if (static_cast<AudioCodec>(raw) == AudioCodec::raw) {
        return AudioCodec::raw;
    }
    return std::nullopt;
}

std::string_view serverName(VideoCodec codec) noexcept {
    return codec == VideoCodec::h264 ? "h264" : "h265";
}

std::string_view serverName(AudioCodec) noexcept {
    return "raw";
}

void to_json(nlohmann::json& json, VideoCodec codec) {
    json = rawValue(codec);
}

void from_json(const nlohmann::json& json, VideoCodec& codec) {
    if (json.is_number_unsigned() && json.get<std::uint64_t>() <= 0xFFFFFFFFu) {
        if (auto parsed = fromRawValue<VideoCodec>(json.get<std::uint32_t>())) {
            codec = *parsed;
            return;
        }
    }
    throw nlohmann::json::other_error::create(501, "not a video codec id: " + json.dump(), &json);
}

namespace {

int intField(const nlohmann::json& json, const char* key) {
    const nlohmann::json& value = json.at(key);
    if (!value.is_number_integer()) {
        throw nlohmann::json::type_error::create(
            302, std::string("\"") + key + "\" must be an integer", &value);
    }
    const auto wide = value.get<std::int64_t>();
    if (value.is_number_unsigned()
            ? value.get<std::uint64_t>() > std::uint64_t(std::numeric_limits<int>::max())
            : (wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max())) {
        throw nlohmann::json::out_of_range::create(
            406, std::string("\"") + key + "\" is out of range", &value);
    }
    return static_cast<int>(wide);
}

}  // namespace

void to_json(nlohmann::json& json, const VideoSize& size) {
    json = nlohmann::json{{"width", size.width}, {"height", size.height}};
}

void from_json(const nlohmann::json& json, VideoSize& size) {
    size = VideoSize{intField(json, "width"), intField(json, "height")};
}

}  // namespace qm
