#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "QuillmereCore/StreamTypes.h"

namespace qm::test {

// Where the server's jar must be before it can start.
inline constexpr std::string_view serverJarPath = "/data/local/tmp/quillmere-server.jar";

// What the device server takes from its start command.
struct FakeStartCommand {
    std::string clientVersion;
    std::uint32_t scid = 0;
    VideoCodec codec = VideoCodec::h264;
    bool audio = true;
    bool control = true;
};

// Reads the command word by word as the server must receive it: the class path, app_process,
// the main class, the client's version, then every argument in its place with a valid value.
// None at the first departure, with `problem` saying where.
std::optional<FakeStartCommand> readStartCommand(const std::string& command, std::string& problem);

}  // namespace qm::test
