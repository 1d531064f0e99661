#include "BenchClip.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

void makeBenchClip(const std::string& path, std::string_view rateOptions) {
    if (std::filesystem::exists(path)) {
        return;
    }
    const std::string command =
        "ffmpeg -hide_banner -loglevel error -y -f lavfi "
        "-i testsrc2=size=1920x1080:rate=60 -frames:v 600 -c:v libx264 -preset veryfast "
        "-tune zerolatency -bf 0 -g 60 " +
        std::string(rateOptions) + " -pix_fmt yuv420p -x264-params repeat-headers=1 -f h264 '" +
        path + "'";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "bench: ffmpeg could not make %s\n", path.c_str());
        std::exit(1);
    }
}
