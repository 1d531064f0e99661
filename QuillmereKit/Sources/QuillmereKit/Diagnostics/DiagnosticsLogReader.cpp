#include "QuillmereKit/Diagnostics/DiagnosticsLogReader.h"

#include <ctime>
#include <string_view>

#include <fmt/chrono.h>
#include <fmt/format.h>

namespace qm {

namespace {

std::string_view levelWord(spdlog::level::level_enum level) {
    switch (level) {
        case spdlog::level::debug:
            return "DEBUG";
        case spdlog::level::info:
            return "INFO";
        case spdlog::level::warn:
            return "NOTICE";
        case spdlog::level::err:
            return "ERROR";
        case spdlog::level::critical:
            return "FAULT";
        default:
            return "-";
    }
}

}  // namespace

std::string DiagnosticsLogReader::line(const LogEntry& entry) {
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(entry.time);
    const auto millis = duration_cast<milliseconds>(entry.time - seconds).count();
    return fmt::format("{:%Y-%m-%dT%H:%M:%S}.{:03}Z [{}] {} {}",
                       fmt::gmtime(system_clock::to_time_t(seconds)), millis, entry.category,
                       levelWord(entry.level), entry.message);
}

QStringList DiagnosticsLogReader::recentLines(std::chrono::system_clock::time_point since) {
    QStringList lines;
    for (const LogEntry& entry : Log::recentEntries()) {
        if (entry.time >= since) {
            lines.append(QString::fromStdString(line(entry)));
        }
    }
    return lines;
}

}  // namespace qm
