#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <spdlog/logger.h>

namespace qm {

// One recent log line, kept in memory for the diagnostics report.
struct LogEntry {
    std::chrono::system_clock::time_point time;
    std::string category;
    spdlog::level::level_enum level = spdlog::level::info;
    std::string message;
};

// The loggers of the one logging subsystem, one per category; each is created on first use
// and shared. Lines go to a bounded in-memory history and, from the console level up, to
// standard error.
class Log {
public:
    static constexpr std::string_view subsystem = "com.tressik.vantorel";
    static constexpr std::size_t historyCapacity = 2000;
    // Names the console level ("debug", "info", "warning", ...); unset, a user's terminal shows
    // only warnings and errors.
    static constexpr const char* levelVariable = "QM_LOG_LEVEL";

    // The console level for the variable's value (null when unset); an unknown name counts as
    // unset.
    static spdlog::level::level_enum consoleLevel(const char* name) noexcept;

    static spdlog::logger& adb();
    static spdlog::logger& usb();
    static spdlog::logger& server();
    static spdlog::logger& video();
    static spdlog::logger& audio();
    static spdlog::logger& input();
    static spdlog::logger& session();
    static spdlog::logger& ext();
    static spdlog::logger& recorder();
    static spdlog::logger& updates();

    // Text from a phone, a file or the network as every log line shows it: one line, with
    // nothing in it that drives a terminal or hides or reorders text. Each such character is
    // written as "\n", "\r", "\t", "\xHH", "\uHHHH" or, past U+FFFF, "\UHHHHHHHH", and a backslash
    // as "\\"; ill-formed UTF-8 as U+FFFD.
    static std::string escaped(std::string_view text);

    // The most recent entries of every category, oldest first.
    static std::vector<LogEntry> recentEntries();

    // Device identity (serials, names) is redacted unless revealed: by default only debug
    // builds reveal it, others when this variable is "1". Any thread may switch it.
    static constexpr const char* revealVariable = "QM_LOG_PRIVATE";
    static bool revealsPrivateValues() noexcept;
    static void setRevealsPrivateValues(bool reveal) noexcept;

    template <typename T>
    static std::string privateValue(const T& value) {
        return revealsPrivateValues() ? fmt::format("{}", value) : std::string("<private>");
    }
};

}  // namespace qm
