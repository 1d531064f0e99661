#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace qm::test {

// What a shell command printed, standard error included.
std::string commandOutput(const std::string& command);

// The streams ffprobe finds in a media file, as its JSON lists them.
nlohmann::json probedStreams(const std::filesystem::path& file);

// Where a media file's track of a kind ('v' or 'a') begins and ends, in seconds of the file's
// timeline, and how much of that its packets fill; none when it has no packet.
struct TrackSpan {
    double start = 0;
    double end = 0;
    double played = 0;
};
std::optional<TrackSpan> trackSpan(const std::filesystem::path& file, char kind);

}  // namespace qm::test
