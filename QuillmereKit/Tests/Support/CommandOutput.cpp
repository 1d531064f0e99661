#include "Support/CommandOutput.h"

#include <cstdio>
#include <memory>

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

}  // namespace qm::test
