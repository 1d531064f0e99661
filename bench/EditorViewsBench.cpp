// Frame times of the keymap views over the stream: a 1280x720 window whose video item shows a
// still 1280x720 frame, drawn as fast as it can be (swap interval 0, the basic render loop),
// with the editor open on 9 layouts of 30 actions (1 look, 5 sticks, 24 taps). Scenarios: the
// bare stream, the editor overlay still, a handle dragged every frame, the edited layout
// switched every 10 frames, and the play-time labels. Each prints mean, p99 and slowest in ms
// over 600 frames after a warm-up, and the mean and p99 against the bare stream's.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QSurfaceFormat>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "Editor/KeymapController.h"
#include "Editor/KeymapFileDialogs.h"
#include "Support/MediaFixtures.h"
#include "VideoPipeline/View/VideoView.h"

namespace {

using namespace qm;

constexpr int warmUpFrames = 60;
constexpr int measuredFrames = 600;

constexpr auto scene = R"(
import QtQuick
import Vantorel
import Vantorel.Video
Window {
    id: root
    required property KeymapController keymap
    required property KeymapFileDialogs fileDialogs
    width: 1280; height: 720; visible: true
    VideoView { objectName: "video"; anchors.fill: parent }
    Loader {
        anchors.fill: parent
        sourceComponent: root.keymap.editing ? editor : labels
        Component {
            id: editor
            KeymapEditorOverlay {
                keymap: root.keymap; fileDialogs: root.fileDialogs
                contentRect: Qt.rect(0, 0, 1280, 720)
            }
        }
        Component {
            id: labels
            KeymapLabelsOverlay { keymap: root.keymap; contentRect: Qt.rect(0, 0, 1280, 720) }
        }
    }
})";

// Layouts differ a little in every position, so a switch redraws every handle.
GameKeymaps benchKeymaps() {
    GameKeymaps keymaps{"com.bench", {}};
    for (int layout = 0; layout < 9; ++layout) {
        const double shift = layout * 0.004;
        std::vector<KeymapAction> actions;
        actions.push_back(
            {UUID::random(),
             KeymapAction::Look{
                 {0.75 + shift, 0.55}, {0.55, 0.3, 0.4, 0.5}, 1.0, StickSide::right}});
        for (int stick = 0; stick < 5; ++stick) {
            actions.push_back(
                {UUID::random(), KeymapAction::Stick{Trigger::key(13),
                                                     Trigger::key(1),
                                                     Trigger::key(0),
                                                     Trigger::key(2),
                                                     std::nullopt,
                                                     {0.08 + stick * 0.09 + shift, 0.82},
                                                     0.035}});
        }
        for (int tap = 0; tap < 24; ++tap) {
            actions.push_back(
                {UUID::random(),
                 KeymapAction::Tap{Trigger::key(static_cast<std::uint16_t>(tap)),
                                   {0.06 + (tap % 6) * 0.08 + shift, 0.25 + (tap / 6) * 0.1}}});
        }
        keymaps.layouts.push_back({UUID::random(), "Layout " + std::to_string(layout + 1),
                                   std::nullopt,
                                   KeymapProfile("com.bench", Orientation::landscape, actions)});
    }
    return keymaps;
}

struct Figures {
    double mean = 0;
    double p99 = 0;
    double slowest = 0;
};

// Renders frames back to back, calling `step` before each, and times them by their swaps.
Figures measure(QQuickWindow& window, const std::function<void(int frame)>& step) {
    std::vector<double> millis;
    millis.reserve(measuredFrames);
    QElapsedTimer clock;
    int frame = 0;
    QEventLoop loop;
    const auto connection = QObject::connect(&window, &QQuickWindow::frameSwapped, [&] {
        if (frame >= warmUpFrames) {
            millis.push_back(clock.nsecsElapsed() / 1e6);
        }
        clock.restart();
        if (++frame == warmUpFrames + measuredFrames) {
            loop.quit();
            return;
        }
        step(frame);
        window.update();
    });
    step(0);
    window.update();
    loop.exec();
    QObject::disconnect(connection);
    std::sort(millis.begin(), millis.end());
    return {std::accumulate(millis.begin(), millis.end(), 0.0) / millis.size(),
            millis[millis.size() * 99 / 100], millis.back()};
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QSG_RENDER_LOOP", "basic");
    VideoView::prepareApplication();
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setSwapInterval(0);
    QSurfaceFormat::setDefaultFormat(format);
    QGuiApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    VideoView::registerQmlType();

    KeymapFileDialogs dialogs;
    // No game: saving only puts the edited keymaps in play.
    KeymapController keymap(std::nullopt, std::nullopt, dialogs);
    QQmlEngine engine;
    engine.addImportPath("qrc:/qt/qml");
    QQmlComponent component(&engine);
    component.setData(scene, QUrl());
    std::unique_ptr<QQuickWindow> window(qobject_cast<QQuickWindow*>(
        component.createWithInitialProperties({{"keymap", QVariant::fromValue(&keymap)},
                                               {"fileDialogs", QVariant::fromValue(&dialogs)}})));
    if (!window) {
        std::fprintf(stderr, "%s\n", qPrintable(component.errorString()));
        return 1;
    }
    if (!QTest::qWaitForWindowExposed(window.get())) {
        std::fprintf(stderr, "the window was never shown\n");
        return 1;
    }
    auto* video = window->findChild<VideoView*>("video");
    bool presented = false;
    video->show(test::flatFrame(1280, 720, AV_PIX_FMT_YUV420P, 150, 100, 160),
                [&](std::uint64_t) { presented = true; });
    if (!QTest::qWaitFor([&] { return presented; })) {
        std::fprintf(stderr, "the frame was never shown\n");
        return 1;
    }

    const auto idle = [](int) {};
    std::vector<std::pair<const char*, Figures>> results;
    results.emplace_back("bare stream", measure(*window, idle));

    keymap.setEditor(GameKeymapsEditorModel(benchKeymaps(), 0));
    results.emplace_back("editor overlay, still", measure(*window, idle));

    // The first tap of layout 1 sits at (77, 180); its handle follows the pointer every frame.
    const QPoint tap(77, 180);
    QTest::mousePress(window.get(), Qt::LeftButton, {}, tap);
    results.emplace_back("a handle dragged", measure(*window, [&](int frame) {
                             QTest::mouseMove(window.get(), tap + QPoint(5 + frame % 40, 0));
                         }));
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, tap);
    keymap.undo();

    results.emplace_back("layout switched every 10", measure(*window, [&](int frame) {
                             if (frame % 10 == 0) {
                                 keymap.editLayout(frame / 10 % 9);
                             }
                         }));

    keymap.editLayout(0);
    keymap.save();
    keymap.setInputMode(InputMode::keymap);
    results.emplace_back("labels overlay", measure(*window, idle));

    const Figures& bare = results.front().second;
    std::printf("%-26s %8s %8s %8s %12s %12s\n", "ms per frame", "mean", "p99", "slowest",
                "mean/bare", "p99/bare");
    for (const auto& [name, figures] : results) {
        std::printf("%-26s %8.2f %8.2f %8.2f %11.2fx %11.2fx\n", name, figures.mean, figures.p99,
                    figures.slowest, figures.mean / bare.mean, figures.p99 / bare.p99);
    }
    return 0;
}
