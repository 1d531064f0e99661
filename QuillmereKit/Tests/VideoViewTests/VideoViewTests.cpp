#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "ColorReference.h"
#include "Support/MediaFixtures.h"
#include "VideoPipeline/View/VideoView.h"

namespace qm {
namespace {

TEST(VideoView, ReportsTheGeometryOnlyWhenItChanges) {
    VideoView view;
    std::vector<VideoGeometry> reports;
    view.setOnGeometryChange([&](const VideoGeometry& geometry) { reports.push_back(geometry); });
    view.setSize({800, 600});
    EXPECT_TRUE(reports.empty());  // no video size yet

    view.setVideoSize({1920, 1080});
    view.setVideoSize({1920, 1080});
    view.setSize({800, 600});
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], VideoGeometry({1920, 1080}, {0, 75, 800, 450}));

    view.setSize({1000, 600});
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].contentRect(), (RectF{0, 18.75, 1000, 562.5}));
}

TEST(VideoView, SizesItsDrawablesToItsPixels) {
    VideoView view;
    const double scale = QGuiApplication::primaryScreen()->devicePixelRatio();
    view.setSize({1000, 500});
    EXPECT_EQ(view.videoLayer()->drawableSize(),
              QSize(int(std::lround(1000 * scale)), int(std::lround(500 * scale))));
    view.setSize({0, 500});  // never an empty drawable
    EXPECT_EQ(view.videoLayer()->drawableSize().width(), int(std::lround(1000 * scale)));
}

TEST(VideoView, ShowReportsANewFrameSizeBeforeDrawing) {
    VideoView view;
    view.setSize({640, 640});
    std::vector<VideoGeometry> reports;
    view.setOnGeometryChange([&](const VideoGeometry& geometry) { reports.push_back(geometry); });
    const DecodedFrame frame = test::flatFrame(640, 360, AV_PIX_FMT_YUV420P, 100, 128, 128);
    view.show(frame, [](std::uint64_t) {});
    view.show(frame, [](std::uint64_t) {});
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], VideoGeometry({640, 360}, {0, 140, 640, 360}));
}

TEST(VideoView, WindowShowsTheFrameLetterboxed) {
    QQmlApplicationEngine engine;
    engine.loadData(R"(
        import QtQuick
        import Vantorel.Video
        Window {
            width: 800; height: 600; visible: true; color: "magenta"
            VideoView { objectName: "video"; anchors.fill: parent }
        })");
    ASSERT_EQ(engine.rootObjects().size(), 1);
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    ASSERT_TRUE(window);
    auto* view = window->findChild<VideoView*>("video");
    ASSERT_TRUE(view);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isExposed(); }, 10'000));

    const DecodedFrame frame = test::decodedFixtureFrames("h264-720p.h264", VideoCodec::h264, 1)[0];
    std::atomic<std::uint64_t> presentedAt{0};
    view->show(frame, [&](std::uint64_t nanos) { presentedAt = nanos; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return presentedAt != 0; }, 10'000));

    const QImage image = window->grabWindow().convertToFormat(QImage::Format_RGBA8888);
    ASSERT_EQ(image.size(), QSize(800, 600));
    ASSERT_TRUE(view->lastGeometry());
    EXPECT_EQ(view->lastGeometry()->contentRect(), (RectF{0, 75, 800, 450}));
    // Black bars above and below, from the view (the window behind it is magenta).
    EXPECT_EQ(test::nonBlackPixels(image, 0, 75), 0);
    EXPECT_EQ(test::nonBlackPixels(image, 525, 600), 0);
    // The picture between them: mostly not black, and like the frame scaled down.
    EXPECT_GT(test::nonBlackPixels(image, 75, 525), 800 * 450 * 9 / 10);
    int near = 0, samples = 0;
    for (int y = 100; y < 500; y += 50) {
        for (int x = 50; x < 800; x += 100) {
            const QColor expected =
                test::referenceColor(frame, x * 1280 / 800 + 1, (y - 75) * 720 / 450 + 1);
            const QColor actual = image.pixelColor(x, y);
            near += std::abs(expected.red() - actual.red()) < 40 &&
                    std::abs(expected.green() - actual.green()) < 40 &&
                    std::abs(expected.blue() - actual.blue()) < 40;
            ++samples;
        }
    }
    EXPECT_GT(near, samples * 3 / 4);
}

TEST(VideoView, DisplaySyncSetsItsWindowsSwapIntervalUntilTheViewLeaves) {
    QQmlApplicationEngine engine;
    engine.loadData(R"(
        import QtQuick
        Window { width: 320; height: 240; visible: true }
    )");
    ASSERT_EQ(engine.rootObjects().size(), 1);
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    ASSERT_TRUE(window && QTest::qWaitFor([&] { return window->isExposed(); }, 10'000));

    // Xvfb's OpenGL has no swap control: the calls are noted instead.
    std::mutex mutex;
    std::vector<int> intervals;
    const auto seen = [&](std::vector<int> expected) {
        return QTest::qWaitFor([&] {
            std::lock_guard lock(mutex);
            return intervals == expected;
        });
    };
    auto view = std::make_unique<VideoView>();
    view->setSwapIntervalSetter([&](QOpenGLContext&, QWindow& of, int interval) {
        std::lock_guard lock(mutex);
        intervals.push_back(&of == window ? interval : -100);
        return true;
    });
    view->setSize({320, 240});
    view->setParentItem(window->contentItem());
    EXPECT_TRUE(seen({0})) << "a frame is shown as soon as it is drawn";
    view->setVsyncEnabled(true);
    EXPECT_TRUE(seen({0, 1}));
    view->setParentItem(nullptr);
    EXPECT_TRUE(seen({0, 1, std::max(window->requestedFormat().swapInterval(), 0)}));
}

}  // namespace
}  // namespace qm
