#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "QuillmereCore/StreamTypes.h"
#include "QuillmereCore/TypedError.h"

namespace qm {

// The device server's version, where it lives on the phone, and the extension protocol it speaks.
struct ServerVersion {
    static constexpr std::string_view string = "4.1+qm2";
    static constexpr std::string_view remoteJarPath = "/data/local/tmp/quillmere-server.jar";
    static constexpr std::uint16_t extProtocol = 2;
};

enum class ServerOptionsErrorKind { invalidVideoCodecOption };

// The start command is one shell line without quoting, so an option that the shell would split
// or interpret is refused instead of being sent.
class ServerOptionsError : public TypedError<ServerOptionsErrorKind> {
public:
    static ServerOptionsError invalidVideoCodecOption(const std::string& option) {
        return ServerOptionsError(
            Kind::invalidVideoCodecOption,
            "video codec option \"" + option + "\" may only hold letters, digits and ._:=,-",
            caseWithText("invalidVideoCodecOption", option));
    }

private:
    using TypedError::TypedError;
};

// One stream's settings for the device server.
struct ServerOptions {
    std::uint32_t scid = 0;  // session id: part of the socket names and of the arguments
    VideoCodec videoCodec = VideoCodec::h264;
    int maxSize = 1280;  // longest side of the video in pixels
    int maxFps = 60;
    int videoBitRate = 8'000'000;
    std::vector<std::string> videoCodecOptions;  // name:type=value, passed to the phone's encoder
    bool audio = true;
    bool control = true;
    bool stayAwake = true;
    bool turnScreenOff = false;  // done by the launcher once connected, not by the server
    bool ext = true;             // the launcher connects the extension socket

    explicit ServerOptions(std::uint32_t sessionID) : scid(sessionID) {}

    bool operator==(const ServerOptions&) const = default;

    // Uniform in 0 ..< 2^31 from the system's random source, without modulo bias.
    static std::uint32_t randomScid();
    static const std::vector<std::string>& lowLatencyVideoCodecOptions();

    // "quillmere_%08x": video, audio and control connect to it, in that order.
    std::string socketName() const;
    // "quillmere_ext_%08x".
    std::string extSocketName() const;

    // The key=value words for the server. Throws ServerOptionsError for a codec option with a
    // character outside letters, digits and ._:=,-
    std::vector<std::string> serverArguments() const;
    // The whole start command, words joined with single spaces; the same failure.
    std::string shellCommand() const;
};

}  // namespace qm
