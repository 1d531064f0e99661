#include "ServerProtocol/ServerOptions.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <sys/random.h>

namespace qm {

namespace {

std::string_view boolWord(bool value) {
    return value ? "true" : "false";
}

bool isSafeOptionCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("._:=,-").find(c) != std::string_view::npos;
}

}  // namespace

std::uint32_t ServerOptions::randomScid() {
    // Masking a uniform 32-bit draw to 31 bits keeps every value equally likely, so no draw
    // has to be rejected.
    std::uint32_t value = 0;
    while (getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
        if (errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "getrandom");
        }
    }
    return value & 0x7FFFFFFFu;
}

const std::vector<std::string>& ServerOptions::lowLatencyVideoCodecOptions() {
    static const std::vector<std::string> options{"vendor.qti-ext-enc-low-latency.enable:int=1",
                                                  "operating-rate:int=32767"};
    return options;
}

std::string ServerOptions::socketName() const {
    return fmt::format("quillmere_{:08x}", scid);
}

std::string ServerOptions::extSocketName() const {
    return fmt::format("quillmere_ext_{:08x}", scid);
}

std::vector<std::string> ServerOptions::serverArguments() const {
    for (const std::string& option : videoCodecOptions) {
        if (!std::all_of(option.begin(), option.end(), isSafeOptionCharacter)) {
            throw ServerOptionsError::invalidVideoCodecOption(option);
        }
    }
    std::vector<std::string> args;
    args.reserve(20);
    args.push_back(fmt::format("scid={:08x}", scid));
    args.emplace_back("log_level=info");
    args.push_back(fmt::format("video_codec={}", serverName(videoCodec)));
    args.push_back(fmt::format("max_size={}", maxSize));
    args.push_back(fmt::format("max_fps={}", maxFps));
    args.push_back(fmt::format("video_bit_rate={}", videoBitRate));
    if (!videoCodecOptions.empty()) {
        args.push_back(fmt::format("video_codec_options={}", fmt::join(videoCodecOptions, ",")));
    }
    args.push_back(fmt::format("audio={}", boolWord(audio)));
    if (audio) {
        args.push_back(fmt::format("audio_codec={}", serverName(AudioCodec::raw)));
    }
    args.push_back(fmt::format("control={}", boolWord(control)));
    args.emplace_back("tunnel_forward=true");
    args.push_back(fmt::format("stay_awake={}", boolWord(stayAwake)));
    for (const char* fixed :
         {"power_off_on_close=false", "clipboard_autosync=false", "cleanup=true", "power_on=true",
          "send_device_meta=true", "send_dummy_byte=true", "send_stream_meta=true",
          "send_frame_meta=true"}) {
        args.emplace_back(fixed);
    }
    return args;
}

std::string ServerOptions::shellCommand() const {
    return fmt::format("CLASSPATH={} app_process / com.tressik.quillmere.Server {} {}",
                       ServerVersion::remoteJarPath, ServerVersion::string,
                       fmt::join(serverArguments(), " "));
}

}  // namespace qm
