#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QuillmereKit/Diagnostics/DiagnosticsLogReader.h"
#include "QuillmereKit/Diagnostics/DiagnosticsReport.h"

namespace qm {
namespace {

TEST(DiagnosticsRedactorTest, HidesSerialsAndAccountNames) {
    struct Case {
        QStringList serials;
        QString text;
        QString redacted;
    };
    const std::vector<Case> cases = {
        // The longer serial goes first, so no tail of it is left.
        {{"R58M", "R58M12AB"}, "id R58M12AB and R58M", "id <serial> and <serial>"},
        {{"abc"}, "abc stays", "abc stays"},
        {{"r58m12ab"}, "xR58M12ABy", "x<serial>y"},
        {{"R58M12AB", "R58M12AB"}, "R58M12AB", "<serial>"},
        // Characters, not code units: three flags are six UTF-16 pairs.
        {{QString::fromUtf8("🇩🇪🇫🇷🇮🇹")}, QString::fromUtf8("🇩🇪🇫🇷🇮🇹"), QString::fromUtf8("🇩🇪🇫🇷🇮🇹")},
        {{QString::fromUtf8("ÄBCD")}, QString::fromUtf8("äbcd"), "<serial>"},
        {{}, "/Users/someone/Library/Logs", "/Users/<user>/Library/Logs"},
        {{}, "/home/jo/.local/share and /home/ana", "/home/<user>/.local/share and /home/<user>"},
        {{}, "/Users//x /Users/ y", "/Users//x /Users/ y"},
        // Any white space ends the name, not only the ASCII one.
        {{}, QString::fromUtf8("/home/jo\u2003rest"), QString::fromUtf8("/home/<user>\u2003rest")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(DiagnosticsRedactor(c.serials).redact(c.text), c.redacted);
    }
    EXPECT_EQ(DiagnosticsRedactor({"ABCD", "abc", "ABCDEF", "ABCD"}).serials(),
              (QStringList{"ABCDEF", "ABCD"}));
}

TEST(DiagnosticsReportTest, IsTheHeaderThenTheLogRedactedAsAWhole) {
    const DiagnosticsEnvironment environment{
        "1.2", "34", "Debian GNU/Linux 12, kernel 6.1.0",
        DeviceInfo{"R58M\u200B12AB", "Maker", "Pixel %1\x1B[2J\u202Exe.", "14", 34}};
    // The phone's texts arrive as the log shows them: escaped, the serial found all the same.
    const DiagnosticsRedactor redactor({"R58M\u200B12AB"});
    EXPECT_EQ(DiagnosticsReport::make(
                  environment,
                  {"2026-01-02T03:04:05.678Z [adb] INFO R58M\\u200B12AB claimed", "/home/jo/x"},
                  redactor),
              "Vantorel 1.2 (34)\n"
              "Debian GNU/Linux 12, kernel 6.1.0\n"
              "Server protocol 4.1+qm2, ext 2\n"
              "Device: Maker Pixel %1\\x1B[2J\\u202Exe., Android 14 (SDK 34), serial <serial>\n"
              "--- log (last 15 min) ---\n"
              "2026-01-02T03:04:05.678Z [adb] INFO <serial> claimed\n"
              "/home/<user>/x");

    EXPECT_EQ(DiagnosticsReport::make({"?", "?", "Linux", std::nullopt}, {}, redactor),
              "Vantorel ? (?)\n"
              "Linux\n"
              "Server protocol 4.1+qm2, ext 2\n"
              "Device: none\n"
              "--- log (last 15 min) ---");
}

TEST(DiagnosticsLogReaderTest, WritesEachEntryWithItsUtcTimeAndLevelWord) {
    using namespace std::chrono;
    // 2026-01-02T03:04:05.678Z
    const system_clock::time_point time{milliseconds(1'767'323'045'678)};
    const std::vector<std::pair<spdlog::level::level_enum, std::string>> levels = {
        {spdlog::level::debug, "DEBUG"},    {spdlog::level::info, "INFO"},
        {spdlog::level::warn, "NOTICE"},    {spdlog::level::err, "ERROR"},
        {spdlog::level::critical, "FAULT"}, {spdlog::level::trace, "-"},
    };
    for (const auto& [level, word] : levels) {
        EXPECT_EQ(DiagnosticsLogReader::line({time + microseconds(999), "usb", level, "m"}),
                  "2026-01-02T03:04:05.678Z [usb] " + word + " m");
    }

    Log::server().info("diagnostics marker");
    const QStringList recent = DiagnosticsLogReader::recentLines(system_clock::now() - minutes(1));
    ASSERT_FALSE(recent.isEmpty());
    EXPECT_TRUE(recent.back().endsWith(" [server] INFO diagnostics marker"));
    EXPECT_TRUE(DiagnosticsLogReader::recentLines(system_clock::now() + minutes(1)).isEmpty());
}

}  // namespace
}  // namespace qm
