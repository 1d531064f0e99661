#include "Support/CommandOutput.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

namespace qm::test {

std::string commandOutput(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
    std::string output;
    char buffer[4096];
    while (const std::size_t count = std::fread(buffer, 1, sizeof buffer, pipe.get())) {
        output.append(buffer, count);
    }
    return output;
}

nlohmann::json probedStreams(const std::filesystem::path& file) {
    return nlohmann::json::parse(commandOutput("ffprobe -v error -show_streams -of json '" +
                                               file.string() + "'"))["streams"];
}

std::optional<TrackSpan> trackSpan(const std::filesystem::path& file, char kind) {
    std::istringstream packets(commandOutput(
        std::string("ffprobe -v error -select_streams ") + kind +
        " -show_entries packet=pts_time,duration_time -of csv=p=0 '" + file.string() + "'"));
    std::optional<TrackSpan> span;
    // "pts,duration", the duration "N/A" where the muxer left it out.
    for (std::string line; std::getline(packets, line);) {
        char* rest = nullptr;
        const double pts = std::strtod(line.c_str(), &rest);
        if (rest == line.c_str()) {
            continue;
        }
        const double duration = *rest == ',' ? std::strtod(rest + 1, nullptr) : 0;
        if (!span) {
            span = TrackSpan{pts, pts, 0};
        }
        span->start = std::min(span->start, pts);
        span->end = std::max(span->end, pts + duration);
        ++span->packets;
    }
    return span;
}

}  // namespace qm::test
