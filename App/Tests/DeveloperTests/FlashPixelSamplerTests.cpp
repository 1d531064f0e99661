#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "Developer/FlashPixelSampler.h"
#include "Developer/FlashTestError.h"
#include "QuillmereCore/HostClock.h"

namespace qm {
namespace {

TEST(FlashPixelSampler, ClassifiesPureGreenAndNearBlackOnly) {
    struct Case {
        int blue, green, red;
        std::optional<bool> green_;
    };
    const Case cases[] = {
        {99, 151, 99, true},         {100, 151, 99, std::nullopt},
        {99, 150, 99, std::nullopt}, {99, 151, 100, std::nullopt},
        {0, 255, 0, true},           {69, 69, 69, false},
        {0, 70, 0, std::nullopt},    {0, 0, 0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FlashPixelSampler::classify(c.blue, c.green, c.red), c.green_)
            << c.blue << "/" << c.green << "/" << c.red;
    }
}

TEST(FlashPixelSampler, CentresTheSquareOnTheContentInSceneCoordinates) {
    EXPECT_EQ(FlashPixelSampler::sampleRegion({0, 28, 800, 572}), QRect(396, 310, 8, 8));
    EXPECT_EQ(FlashPixelSampler::sampleRegion({0, 0, 801, 601}), QRect(397, 297, 8, 8));
}

TEST(FlashPixelSampler, RecordsEachChangeOfTheCentreWhenItsFrameIsShown) {
    // The coloured square sits where the centre of a content area below a 28-pixel bar is, so
    // a read-back not turned the right way up would see only the grey around it.
    QQmlApplicationEngine engine;
    engine.loadData(R"(
        import QtQuick
        Window {
            width: 400; height: 300; visible: true; color: "#808080"
            Rectangle { objectName: "square"; x: 196; y: 160; width: 8; height: 8 }
        })");
    ASSERT_EQ(engine.rootObjects().size(), 1);
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    ASSERT_TRUE(window);
    auto* square = window->findChild<QQuickItem*>("square");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isExposed(); }, 10'000));

    FlashPixelSampler sampler;
    EXPECT_THROW(sampler.start(nullptr, {}), FlashTestError);
    const std::uint64_t before = HostClock::nowNanos();
    sampler.start(window, FlashPixelSampler::sampleRegion({0, 28, 400, 272}));

    // A colour counts as shown once a frame synchronised after it was set has been swapped.
    std::atomic<int> set = 0, shown = 0;
    int synced = 0;
    QObject::connect(
        window, &QQuickWindow::afterSynchronizing, window, [&] { synced = set; },
        Qt::DirectConnection);
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window, [&] { shown = synced; }, Qt::DirectConnection);
    auto show = [&](const char* colour) {
        square->setProperty("color", QColor(colour));
        ++set;
        return QTest::qWaitFor([&] { return shown == set; }, 10'000);
    };
    // (B, G, R): 99/151/99 green, 100/151/99 and mid grey neither, 69 grey black.
    for (const char* colour : {"#639763", "#808080", "#639763", "#649763", "#454545", "#639763"}) {
        ASSERT_TRUE(show(colour)) << colour;
    }
    const std::vector<FlashTransition> transitions = sampler.stop();
    ASSERT_TRUE(show("#000000"));  // nothing is recorded once stopped

    std::vector<bool> colours;
    for (const FlashTransition& transition : transitions) {
        colours.push_back(transition.toGreen);
        EXPECT_GE(transition.macNanos, before);
    }
    EXPECT_EQ(colours, (std::vector<bool>{true, false, true}));
    EXPECT_TRUE(
        std::is_sorted(transitions.begin(), transitions.end(),
                       [](const auto& a, const auto& b) { return a.macNanos < b.macNanos; }));
    EXPECT_EQ(sampler.stop(), transitions);

    window->hide();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isExposed(); }, 10'000));
    EXPECT_THROW(FlashPixelSampler().start(window, {}), FlashTestError);
}

}  // namespace
}  // namespace qm
