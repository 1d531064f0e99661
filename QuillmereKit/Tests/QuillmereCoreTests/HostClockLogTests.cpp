#include <algorithm>
#include <thread>
#include <utility>

#include <time.h>

#include <gtest/gtest.h>

#include "QuillmereCore/HostClock.h"
#include "QuillmereCore/Log.h"

namespace qm {
namespace {

TEST(HostClock, NeverGoesBackwardsAcrossThreads) {
    auto check = [] {
        std::uint64_t last = HostClock::nowNanos();
        for (int i = 0; i < 100000; ++i) {
            const std::uint64_t now = HostClock::nowNanos();
            ASSERT_GE(now, last);
            last = now;
        }
    };
    std::thread other(check);
    check();
    other.join();
    // Nanoseconds of the raw monotonic clock, which NTP never slews: bracket a reading of it.
    const std::uint64_t before = HostClock::nowNanos();
    timespec raw{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &raw);
    const std::uint64_t after = HostClock::nowNanos();
    const auto rawNanos = std::uint64_t(raw.tv_sec) * 1'000'000'000u + std::uint64_t(raw.tv_nsec);
    EXPECT_LE(before, rawNanos);
    EXPECT_LE(rawNanos, after);
}

TEST(Log, EachCategoryHasItsOwnSharedLogger) {
    const std::vector<std::pair<spdlog::logger*, const char*>> loggers{
        {&Log::adb(), "adb"},         {&Log::usb(), "usb"},     {&Log::server(), "server"},
        {&Log::video(), "video"},     {&Log::audio(), "audio"}, {&Log::input(), "input"},
        {&Log::session(), "session"}, {&Log::ext(), "ext"},     {&Log::recorder(), "recorder"}};
    for (const auto& [logger, category] : loggers) {
        EXPECT_EQ(logger->name(), category);
    }
    EXPECT_EQ(&Log::adb(), &Log::adb());
    EXPECT_EQ(Log::subsystem, "com.tressik.vantorel");
}

TEST(Log, HistoryKeepsTheMostRecentEntriesWithTheirCategoryAndLevel) {
    Log::usb().warn("interface {} claimed", 3);
    auto entries = Log::recentEntries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().category, "usb");
    EXPECT_EQ(entries.back().level, spdlog::level::warn);
    EXPECT_EQ(entries.back().message, "interface 3 claimed");

    for (std::size_t i = 0; i < Log::historyCapacity + 10; ++i) {
        Log::session().info("line {}", i);
    }
    entries = Log::recentEntries();
    EXPECT_EQ(entries.size(), Log::historyCapacity);
    EXPECT_EQ(entries.front().message, "line 10");
    EXPECT_EQ(entries.back().message, fmt::format("line {}", Log::historyCapacity + 9));
    EXPECT_TRUE(std::is_sorted(entries.begin(), entries.end(),
                               [](const auto& a, const auto& b) { return a.time < b.time; }));
}

TEST(Log, TheConsoleShowsWarningsUnlessTheVariableNamesAnotherLevel) {
    using spdlog::level::level_enum;
    const std::pair<const char*, level_enum> cases[] = {
        {nullptr, level_enum::warn}, {"debug", level_enum::debug}, {"info", level_enum::info},
        {"error", level_enum::err},  {"off", level_enum::off},     {"loud", level_enum::warn},
        {"", level_enum::warn}};
    for (const auto& [name, level] : cases) {
        EXPECT_EQ(Log::consoleLevel(name), level) << (name ? name : "unset");
    }
}

TEST(Log, EveryLineStaysOneLineWithoutTerminalEscapes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"model\nforged line", "model\\nforged line"},
        {"a\r\tb", "a\\r\\tb"},
        {"\x1B[31mred\x07 del\x7F", "\\x1B[31mred\\x07 del\\x7F"},
        // The C1 controls end where the no-break space begins.
        {"c1 \u009B31m \u0080\u009F\u00A0", "c1 \\u009B31m \\u0080\\u009F\\u00A0"},
        {"separator\u2028x\u2029y", "separator\\u2028x\\u2029y"},
        // Text that reorders or hides itself.
        {"\u202Egnp.exe\u2066\u2069\u061C", "\\u202Egnp.exe\\u2066\\u2069\\u061C"},
        {"zero\u200Bwidth\u200D\uFEFF\u2060", "zero\\u200Bwidth\\u200D\\uFEFF\\u2060"},
        {"\u200E\u200F\u180E\u202A\u202B\u202C\u202D\u2067\u2068",
         "\\u200E\\u200F\\u180E\\u202A\\u202B\\u202C\\u202D\\u2067\\u2068"},
        // Text hidden in characters no one sees: tags, fillers, selectors, annotations.
        {"a\U000E0061\U000E007F\u00AD\u034F\u115F\u3164\uFFA0",
         "a\\U000E0061\\U000E007F\\u00AD\\u034F\\u115F\\u3164\\uFFA0"},
        {"b\u180B\uFE0F\U000E01EF\uFFF9\uFFFB\U0001D173\U0001D17A",
         "b\\u180B\\uFE0F\\U000E01EF\\uFFF9\\uFFFB\\U0001D173\\U0001D17A"},
        // Format characters past the default-ignorable set: hieroglyph controls, prepended marks.
        {"\U00013430\U0001343F\u0600\u0605\u06DD\u070F\u0890\u0891\u08E2\U000110BD\U000110CD",
         "\\U00013430\\U0001343F\\u0600\\u0605\\u06DD\\u070F\\u0890\\u0891\\u08E2\\U000110BD"
         "\\U000110CD"},
        // Blanks that pass for a space or for nothing.
        {"\u2800\uFFFC\u2003\u202F\u3000 .", "\\u2800\\uFFFC\\u2003\\u202F\\u3000 ."},
        {"bad \xFF byte", "bad \uFFFD byte"},
        // A phone's own backslash does not read as an escape.
        {"Gam\u00E9 \u2713 \\u202E", "Gam\u00E9 \u2713 \\\\u202E"},
    };
    for (const auto& [text, shown] : cases) {
        Log::adb().info("connected: {}", text);
        EXPECT_EQ(Log::recentEntries().back().message, "connected: " + shown) << text;
    }
}

TEST(Log, PrivateValuesAreRedactedOutsideDebugBuildsOrWhenSwitchedOff) {
#ifdef NDEBUG
    EXPECT_FALSE(Log::revealsPrivateValues());
#else
    EXPECT_TRUE(Log::revealsPrivateValues());
#endif
    const bool before = Log::revealsPrivateValues();
    Log::setRevealsPrivateValues(false);
    Log::adb().info("device {}", Log::privateValue("R58M123ABC"));
    EXPECT_EQ(Log::recentEntries().back().message, "device <private>");
    Log::setRevealsPrivateValues(true);
    EXPECT_EQ(Log::privateValue(42), "42");
    Log::setRevealsPrivateValues(before);
}

}  // namespace
}  // namespace qm
