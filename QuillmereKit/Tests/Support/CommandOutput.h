#pragma once

#include <cstddef>
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
// timeline, and its packets; none when it has no packet.
struct TrackSpan {
    double start = 0;
    double end = 0;
    std::size_t packets = 0;

    // An AAC track's packets hold 1024 samples at 48 kHz, whatever gap a packet is stretched over.
    double soundPlayed() const { return static_cast<double>(packets) * 1024 / 48000; }
};
std::optional<TrackSpan> trackSpan(const std::filesystem::path& file, char kind);

}  // namespace qm::test
