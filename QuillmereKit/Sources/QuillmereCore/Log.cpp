#include "QuillmereCore/Log.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>

#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>

#include "QuillmereCore/UnicodeText.h"

namespace qm {

namespace {

class HistorySink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    std::vector<LogEntry> entries() {
        std::lock_guard lock(mutex_);
        return {entries_.begin(), entries_.end()};
    }

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        if (entries_.size() == Log::historyCapacity) {
            entries_.pop_front();
        }
        entries_.push_back(
            LogEntry{msg.time, std::string(msg.logger_name.begin(), msg.logger_name.end()),
                     msg.level, std::string(msg.payload.begin(), msg.payload.end())});
    }
    void flush_() override {}

private:
    std::deque<LogEntry> entries_;
};

}  // namespace

std::string Log::escaped(std::string_view text) {
    return UnicodeText::escaped(text);
}

namespace {

bool needsEscaping(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte >= 0x7F || byte == '\\';
    });
}

// Hands each line to the sinks behind it, escaped.
class EscapingSink final : public spdlog::sinks::sink {
public:
    explicit EscapingSink(std::vector<spdlog::sink_ptr> sinks) : sinks_(std::move(sinks)) {}

    void log(const spdlog::details::log_msg& msg) override {
        const std::string_view payload(msg.payload.data(), msg.payload.size());
        if (!needsEscaping(payload)) {
            forward(msg);
            return;
        }
        const std::string text = Log::escaped(payload);
        spdlog::details::log_msg copy = msg;
        copy.payload = spdlog::string_view_t(text.data(), text.size());
        forward(copy);
    }
    void flush() override {
        for (const spdlog::sink_ptr& inner : sinks_) {
            inner->flush();
        }
    }
    void set_pattern(const std::string& pattern) override {
        for (const spdlog::sink_ptr& inner : sinks_) {
            inner->set_pattern(pattern);
        }
    }
    void set_formatter(std::unique_ptr<spdlog::formatter> formatter) override {
        for (const spdlog::sink_ptr& inner : sinks_) {
            inner->set_formatter(formatter->clone());
        }
    }

private:
    void forward(const spdlog::details::log_msg& msg) {
        for (const spdlog::sink_ptr& inner : sinks_) {
            if (inner->should_log(msg.level)) {
                inner->log(msg);
            }
        }
    }

    const std::vector<spdlog::sink_ptr> sinks_;
};

struct Sinks {
    std::shared_ptr<HistorySink> history = std::make_shared<HistorySink>();
    std::shared_ptr<spdlog::sinks::stderr_color_sink_mt> console =
        std::make_shared<spdlog::sinks::stderr_color_sink_mt>();
    std::shared_ptr<EscapingSink> escaping =
        std::make_shared<EscapingSink>(std::vector<spdlog::sink_ptr>{console, history});

    Sinks() {
        console->set_pattern(fmt::format("%Y-%m-%d %H:%M:%S.%e {}[%n] %^%l%$: %v", Log::subsystem));
        console->set_level(Log::consoleLevel(std::getenv(Log::levelVariable)));
    }
};

Sinks& sinks() {
    static Sinks shared;
    return shared;
}

spdlog::logger makeLogger(const char* category) {
    spdlog::logger logger(category, sinks().escaping);
#ifdef NDEBUG
    constexpr spdlog::level::level_enum kept = spdlog::level::info;
#else
    constexpr spdlog::level::level_enum kept = spdlog::level::debug;
#endif
    // The history keeps what diagnostics need; the console may ask for more.
    logger.set_level(std::min(kept, sinks().console->level()));
    logger.flush_on(spdlog::level::warn);
    return logger;
}

bool revealedAtStart() {
#ifdef NDEBUG
    // A user shows them in their own terminal, where they are theirs to see.
    const char* asked = std::getenv(Log::revealVariable);
    return asked && std::string_view(asked) == "1";
#else
    return true;
#endif
}

std::atomic<bool> revealed{revealedAtStart()};

}  // namespace

spdlog::level::level_enum Log::consoleLevel(const char* name) noexcept {
    if (!name) {
        return spdlog::level::warn;
    }
    const std::string_view asked(name);
    const spdlog::level::level_enum level = spdlog::level::from_str(std::string(asked));
    // from_str answers "off" for a name it does not know.
    return level == spdlog::level::off && asked != "off" ? spdlog::level::warn : level;
}

bool Log::revealsPrivateValues() noexcept {
    return revealed.load(std::memory_order_relaxed);
}

void Log::setRevealsPrivateValues(bool reveal) noexcept {
    revealed.store(reveal, std::memory_order_relaxed);
}

#define QM_LOG_CATEGORY(name)                             \
    spdlog::logger& Log::name() {                         \
        static spdlog::logger logger = makeLogger(#name); \
        return logger;                                    \
    }

QM_LOG_CATEGORY(adb)
QM_LOG_CATEGORY(usb)
QM_LOG_CATEGORY(server)
QM_LOG_CATEGORY(video)
QM_LOG_CATEGORY(audio)
QM_LOG_CATEGORY(input)
QM_LOG_CATEGORY(session)
QM_LOG_CATEGORY(ext)
QM_LOG_CATEGORY(recorder)
QM_LOG_CATEGORY(updates)

#undef QM_LOG_CATEGORY

std::vector<LogEntry> Log::recentEntries() {
    return sinks().history->entries();
}

}  // namespace qm
