// The flash page's own script, run in a JavaScript engine with the browser's clock, frame
// callback and body style stubbed, must agree with the schedule the analysis assumes.
#include <QCoreApplication>
#include <QJSEngine>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Telemetry/FlashTestAnalyzer.h"
#include "Telemetry/FlashTestPage.h"

namespace qm {
namespace {

std::string pageScript() {
    const std::string html(FlashTestPage::html);
    const std::size_t begin = html.find("<script>") + std::string("<script>").size();
    return html.substr(begin, html.find("</script>") - begin);
}

TEST(FlashTestPageScript, FlipsAtTheFirstFrameAtOrAfterEachBoundary) {
    int argc = 1;
    char name[] = "FlashTestPageScriptTests";
    char* argv[] = {name, nullptr};
    const QCoreApplication application(argc, argv);
    QJSEngine engine;
    const QJSValue stubs = engine.evaluate(R"(
        var now = 0;
        Date.now = function() { return now; };
        var pending = null;
        function requestAnimationFrame(callback) { pending = callback; }
        var painted = [];
        var document = { body: { style: {
            set background(colour) { painted.push(now + " " + colour); }
        } } };
        function frameAt(time) { now = time; const run = pending; pending = null; run(); }
    )");
    ASSERT_FALSE(stubs.isError()) << stubs.toString().toStdString();
    const QJSValue loaded = engine.evaluate(QString::fromStdString(pageScript()));
    ASSERT_FALSE(loaded.isError()) << loaded.toString().toStdString();

    // Frames every 16 or 17 ms, with a stall that skips a whole period and one that lands on
    // a boundary exactly.
    std::vector<std::int64_t> frames;
    std::int64_t time = 1'700'000'000'123;
    for (int i = 0; i < 200; ++i) {
        time += i == 60 ? 1000 : i == 120 ? 1'700'000'003'000 - time : 16 + i % 2;
        frames.push_back(time);
    }
    std::vector<std::string> expected;
    std::optional<bool> shown;
    for (const std::int64_t frame : frames) {
        const QJSValue ran = engine.evaluate(QStringLiteral("frameAt(%1)").arg(frame));
        ASSERT_FALSE(ran.isError()) << ran.toString().toStdString();
        const bool green = FlashTestAnalyzer::isGreen(frame);
        if (shown != green) {
            shown = green;
            expected.push_back(std::to_string(frame) + (green ? " #00ff00" : " #000000"));
        }
    }
    std::vector<std::string> painted;
    const QJSValue list = engine.globalObject().property("painted");
    for (int i = 0; i < list.property("length").toInt(); ++i) {
        painted.push_back(list.property(i).toString().toStdString());
    }
    EXPECT_EQ(painted, expected);
    EXPECT_GT(expected.size(), 5u);
}

}  // namespace
}  // namespace qm
