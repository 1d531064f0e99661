#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "QuillmereCore/Log.h"

namespace qm::test {

// The log lines written from its making on. The log history belongs to the process and every
// test run in it writes there (and, once full, pushes the oldest out), so a test counts only
// its own lines.
class LogSince {
public:
    std::size_t count(std::string_view text) const {
        std::size_t found = 0;
        for (const LogEntry& entry : Log::recentEntries()) {
            found += entry.time >= start_ && entry.message.find(text) != std::string::npos;
        }
        return found;
    }

private:
    std::chrono::system_clock::time_point start_ = std::chrono::system_clock::now();
};

// Keeps `logger` writing down to debug level while it lives: debug lines are kept only by
// debug builds unless asked.
class DebugLevel {
public:
    explicit DebugLevel(spdlog::logger& logger) : logger_(logger), before_(logger.level()) {
        logger.set_level(spdlog::level::debug);
    }
    ~DebugLevel() { logger_.set_level(before_); }
    DebugLevel(const DebugLevel&) = delete;
    DebugLevel& operator=(const DebugLevel&) = delete;

private:
    spdlog::logger& logger_;
    const spdlog::level::level_enum before_;
};

// Logs as a user's build does while it lives: private values hidden, as debug builds do not.
class PrivateValuesHidden {
public:
    PrivateValuesHidden() { Log::setRevealsPrivateValues(false); }
    ~PrivateValuesHidden() { Log::setRevealsPrivateValues(before_); }
    PrivateValuesHidden(const PrivateValuesHidden&) = delete;
    PrivateValuesHidden& operator=(const PrivateValuesHidden&) = delete;

private:
    const bool before_ = Log::revealsPrivateValues();
};

}  // namespace qm::test
