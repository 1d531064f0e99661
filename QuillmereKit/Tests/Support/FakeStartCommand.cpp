#include "Support/FakeStartCommand.h"

#include <fmt/format.h>

namespace qm::test {

namespace {

std::vector<std::string> words(const std::string& command) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t space = command.find(' ', start);
        out.push_back(command.substr(start, space - start));
        if (space == std::string::npos) {
            return out;
        }
        start = space + 1;
    }
}

bool isDecimal(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool isBool(std::string_view text) {
    return text == "true" || text == "false";
}

// name:type=value, as the phone's encoder takes its options.
bool isCodecOption(std::string_view option) {
    const std::size_t colon = option.find(':');
    const std::size_t equals = option.find('=');
    if (colon == 0 || colon == std::string_view::npos || equals == std::string_view::npos ||
        equals < colon || equals + 1 == option.size()) {
        return false;
    }
    const std::string_view type = option.substr(colon + 1, equals - colon - 1);
    return type == "int" || type == "long" || type == "float" || type == "string";
}

bool isCodecOptionList(std::string_view list) {
    for (;;) {
        const std::size_t comma = list.find(',');
        if (!isCodecOption(list.substr(0, comma))) {
            return false;
        }
        if (comma == std::string_view::npos) {
            return true;
        }
        list.remove_prefix(comma + 1);
    }
}

}  // namespace

std::optional<FakeStartCommand> readStartCommand(const std::string& command, std::string& problem) {
    const std::vector<std::string> w = words(command);
    const auto bad = [&](std::string what) {
        problem = std::move(what);
        return std::nullopt;
    };
    const std::vector<std::string> head = {"CLASSPATH=" + std::string(serverJarPath), "app_process",
                                           "/", "com.tressik.quillmere.Server"};
    if (w.size() < head.size() + 1) {
        return bad("too few words");
    }
    for (std::size_t i = 0; i < head.size(); ++i) {
        if (w[i] != head[i]) {
            return bad(fmt::format("word {} is \"{}\", not \"{}\"", i + 1, w[i], head[i]));
        }
    }
    FakeStartCommand p;
    p.clientVersion = w[head.size()];
    std::size_t at = head.size() + 1;
    // The value of the next word, which must be `key`=value and satisfy `valid`.
    std::optional<std::string> failure;
    const auto next = [&](std::string_view key, auto valid) -> std::string {
        const std::string prefix = std::string(key) + "=";
        if (failure) {
            return {};
        }
        if (at >= w.size() || !w[at].starts_with(prefix) || !valid(w[at].substr(prefix.size()))) {
            failure = fmt::format("word {} is \"{}\" where {}=... belongs", at + 1,
                                  at < w.size() ? w[at] : "", key);
            return {};
        }
        return w[at++].substr(prefix.size());
    };
    const auto exactly = [](std::string_view expected) {
        return [expected](std::string_view value) { return value == expected; };
    };
    const std::string scid = next("scid", [](std::string_view v) {
        return v.size() == 8 && v.find_first_not_of("0123456789abcdef") == std::string_view::npos &&
               v[0] < '8';
    });
    next("log_level", exactly("info"));
    const std::string codec =
        next("video_codec", [](std::string_view v) { return v == "h264" || v == "h265"; });
    next("max_size", isDecimal);
    next("max_fps", isDecimal);
    next("video_bit_rate", isDecimal);
    if (!failure && at < w.size() && w[at].starts_with("video_codec_options=")) {
        next("video_codec_options", isCodecOptionList);
    }
    p.audio = next("audio", isBool) == "true";
    if (p.audio) {
        next("audio_codec", exactly("raw"));
    }
    p.control = next("control", isBool) == "true";
    next("tunnel_forward", exactly("true"));
    next("stay_awake", isBool);
    for (const auto& [key, value] : {std::pair{"power_off_on_close", "false"},
                                     {"clipboard_autosync", "false"},
                                     {"cleanup", "true"},
                                     {"power_on", "true"},
                                     {"send_device_meta", "true"},
                                     {"send_dummy_byte", "true"},
                                     {"send_stream_meta", "true"},
                                     {"send_frame_meta", "true"}}) {
        next(key, exactly(value));
    }
    if (failure) {
        return bad(*failure);
    }
    if (at != w.size()) {
        return bad(fmt::format("{} words after the last argument", w.size() - at));
    }
    p.scid = static_cast<std::uint32_t>(std::stoul(scid, nullptr, 16));
    p.codec = codec == "h264" ? VideoCodec::h264 : VideoCodec::h265;

    return p;
}

}  // namespace qm::test
