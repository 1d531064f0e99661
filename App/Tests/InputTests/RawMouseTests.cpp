#include <QCursor>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Input/CursorCapture.h"
#include "Input/RawMotionEvent.h"
#include "Input/RawMouseCapture.h"
#include "Input/RawMouseHub.h"
#include "Input/XInputRawMouseSource.h"
#include "XTestInput.h"

namespace qm {
namespace {

// XInput2 events captured under Xvfb; made by make-raw-motion-fixtures.sh.
std::vector<std::uint8_t> captured(const std::string& name) {
    const char* dir = std::getenv("QM_FIXTURES_DIR");
    std::ifstream file(std::filesystem::path(dir ? dir : ".") / (name + ".xge"), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

TEST(RawMotionEventTest, ReadsTheRawValuatorsAndDropsWhatRunsPastTheEvent) {
    struct Case {
        const char* name;
        std::optional<RawMotionEvent> motion;
    };
    const Case cases[] = {
        {"motion-right-up", RawMotionEvent{5, -3}},
        {"motion-left-down", RawMotionEvent{-120, 40}},
        {"motion-x-only", RawMotionEvent{7, 0}},
        {"button-press", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint8_t> event = captured(c.name);
        ASSERT_GE(event.size(), RawMotionEvent::headerSize);
        const std::uint8_t opcode = event[1];
        EXPECT_EQ(RawMotionEvent::parse(event, opcode), c.motion);
        EXPECT_EQ(RawMotionEvent::parse(event, opcode + 1), std::nullopt) << "another extension";
        for (std::size_t size = 0; size < event.size(); ++size) {
            EXPECT_EQ(RawMotionEvent::parse({event.data(), size}, opcode), std::nullopt) << size;
        }
    }

    // A mask longer than the event, and values past a mask that fits.
    std::vector<std::uint8_t> event = captured("motion-right-up");
    std::vector<std::uint8_t> longMask = event;
    longMask[22] = 0xFF;
    EXPECT_EQ(RawMotionEvent::parse(longMask, event[1]), std::nullopt);
    std::vector<std::uint8_t> manyValues = event;
    manyValues[36] = 0xFF;
    EXPECT_EQ(RawMotionEvent::parse(manyValues, event[1]), std::nullopt);
}

TEST(RawMouseArbiterTest, RawDeltasWinUntilTheSystemMovesAloneThreeTimesIn200ms) {
    constexpr std::uint64_t ms = 1'000'000;
    struct Step {
        bool raw;
        std::uint64_t at;
        bool used;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        RawMouseArbiter::Mode mode;
    };
    const std::vector<Case> cases = {
        {"system until raw",
         {{false, 1 * ms, true}, {true, 2 * ms, true}, {false, 3 * ms, false}},
         RawMouseArbiter::Mode::raw},
        {"third unmatched falls back",
         {{true, 0, true},
          {false, 10 * ms, false},
          {false, 20 * ms, false},
          {false, 200 * ms, true},
          {true, 210 * ms, false},
          {false, 220 * ms, true}},
         RawMouseArbiter::Mode::fellBack},
        {"a raw delta clears the count",
         {{true, 0, true},
          {false, 10 * ms, false},
          {false, 20 * ms, false},
          {true, 30 * ms, true},
          {false, 40 * ms, false}},
         RawMouseArbiter::Mode::raw},
        {"older than 200 ms is forgotten",
         {{true, 0, true},
          {false, 10 * ms, false},
          {false, 20 * ms, false},
          {false, 221 * ms, false}},
         RawMouseArbiter::Mode::raw},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RawMouseArbiter arbiter;
        for (const Step& step : c.steps) {
            EXPECT_EQ(step.raw ? arbiter.rawMoved(step.at) : arbiter.systemMoved(step.at),
                      step.used);
        }
        EXPECT_EQ(arbiter.mode, c.mode);
        arbiter.captureBegan();
        EXPECT_EQ(arbiter.mode, RawMouseArbiter::Mode::system);
    }
}

class FakeSource : public RawMouseSource {
public:
    void activate(Handler onDelta) override {
        handler = std::move(onDelta);
        ++activations;
    }
    void deactivate() override { handler = nullptr; }

    Handler handler;
    int activations = 0;
};

TEST(RawMouseCaptureTest, TheLatestActiveWindowGetsDeltasWithYDownwards) {
    FakeSource source;
    RawMouseHub hub(source);
    bool enabled = true;
    std::vector<std::pair<double, double>> first;
    std::vector<std::pair<double, double>> second;
    const auto now = [] { return std::uint64_t(0); };
    RawMouseCapture earlier(
        hub, now, [&] { return enabled; },
        [&](double dx, double dy) { first.emplace_back(dx, dy); });
    RawMouseCapture later(
        hub, now, [&] { return enabled; },
        [&](double dx, double dy) { second.emplace_back(dx, dy); });
    earlier.start();
    later.start();
    earlier.update(true);
    later.update(true);
    source.handler(2, 3);  // the device moved up
    later.update(false);
    source.handler(4, 0);
    EXPECT_EQ(second, (std::vector<std::pair<double, double>>{{2, -3}}));
    EXPECT_EQ(first, (std::vector<std::pair<double, double>>{{4, 0}}));
    EXPECT_EQ(source.activations, 1);
    earlier.update(false);
    EXPECT_FALSE(hub.isSourceRunning());

    // Raw input off: the lock never subscribes and every system motion is used.
    enabled = false;
    earlier.update(true);
    EXPECT_FALSE(hub.isSourceRunning());
    EXPECT_FALSE(earlier.claimsSystemMove());
}

// The display's pointer is shared by every test under the one Xvfb: it is moved in this test
// only, and only over this test's window.
TEST(PointerLockTest, HoldsThePointerAtTheCentreAndReadsRawMotion) {
    // Near the screen's far corner, where no other test puts a window, on any screen size; room
    // is left for a window manager's frame.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QQuickWindow window;
    window.setGeometry(QRect(screen.bottomRight() - QPoint(500, 400), QSize(400, 300)));
    QQuickItem view(window.contentItem());
    view.setSize({400, 300});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    CursorCapture cursor;
    cursor.update(true, &view);
    const QPoint centre = window.mapToGlobal(QPoint(200, 150));
    EXPECT_EQ(QCursor::pos(), centre);
    EXPECT_EQ(view.cursor().shape(), Qt::BlankCursor);
    EXPECT_EQ(cursor.recentre(centre + QPointF(4, -2)), QPointF(4, -2));
    EXPECT_EQ(QCursor::pos(), centre) << "warped back";
    EXPECT_EQ(cursor.recentre(centre), std::nullopt) << "the warp's own motion";

    XInputRawMouseSource source;
    std::vector<std::pair<float, float>> deltas;
    source.activate([&](float dx, float dy) { deltas.emplace_back(dx, dy); });
    test::XTestInput hands;
    hands.moveBy(QPoint(3, 2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !deltas.empty(); }));
    EXPECT_EQ(deltas.front(), std::make_pair(3.0f, -2.0f)) << "y upwards, as a device reports";
    source.deactivate();

    cursor.update(false, &view);
    EXPECT_EQ(view.cursor().shape(), Qt::ArrowCursor);
}

}  // namespace
}  // namespace qm
