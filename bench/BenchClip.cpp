#include "BenchClip.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <unistd.h>

#include "BenchRun.h"

void makeBenchClip(const std::string& path, std::string_view rateOptions, qm::VideoCodec codec) {
    if (std::filesystem::exists(path)) {
        return;
    }
    const std::string encoder =
        codec == qm::VideoCodec::h264
            ? "-c:v libx264 -preset veryfast -tune zerolatency -x264-params repeat-headers=1 "
              "-f h264"
            : "-c:v libx265 -preset ultrafast -tune zerolatency "
              "-x265-params repeat-headers=1:open-gop=0:log-level=error -f hevc";
    // Made beside it and renamed whole, so that a run stopped halfway, or two runs at once,
    // never leave a cut clip that later runs take for made.
    const std::string part = path + "." + std::to_string(getpid()) + ".part";
    const std::string command =
        "ffmpeg -hide_banner -loglevel error -y -f lavfi "
        "-i testsrc2=size=1920x1080:rate=60 -frames:v 600 -bf 0 -g 60 " +
        std::string(rateOptions) + " -pix_fmt yuv420p " + encoder + " '" + part + "'";
    std::error_code failed;
    if (std::system(command.c_str()) == 0) {
        std::filesystem::rename(part, path, failed);
        if (!failed) {
            return;
        }
    }
    std::filesystem::remove(part, failed);
    throw qm::bench::BenchFailure("ffmpeg could not make " + path);
}
