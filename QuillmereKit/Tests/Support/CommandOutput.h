#pragma once

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

namespace qm::test {

// What a shell command printed, standard error included.
std::string commandOutput(const std::string& command);

// The streams ffprobe finds in a media file, as its JSON lists them.
nlohmann::json probedStreams(const std::filesystem::path& file);

}  // namespace qm::test
