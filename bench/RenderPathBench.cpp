// Per-frame drawing of a decoded 1080p picture with the software OpenGL here: straight into a
// 1080p target, and into 2560x1440 both directly (bicubic) and through upscaling and
// sharpening. Each frame is timed until the GPU has finished it; p50 and p90 per frame are
// reported as counters, in milliseconds.
//
// Then the whole way in a live window: from a decoded frame handed to the video stage to the
// moment the window showing it reached the screen, with the GUI thread idle (0) or busy with
// other QML work (1), display sync off (0) or on (1): p50 and p99 in milliseconds.
#include <QEventLoop>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "BenchRun.h"
#include "QuillmereCore/HostClock.h"
#include "QuillmereKit/Video/VideoStage.h"
#include "Support/MediaFixtures.h"
#include "VideoPipeline/View/VideoRenderer.h"
#include "VideoPipeline/View/VideoView.h"

namespace {

using Clock = std::chrono::steady_clock;

void reportPercentiles(benchmark::State& state, std::vector<double> millis,
                       std::initializer_list<std::pair<const char*, double>> percentiles) {
    if (millis.empty()) {
        return;
    }
    std::sort(millis.begin(), millis.end());
    for (const auto& [name, fraction] : percentiles) {
        state.counters[name] = millis[std::size_t(double(millis.size() - 1) * fraction)];
    }
}

void drawFrames(benchmark::State& state, qm::UpscaleSettings upscale, int width, int height) {
    auto settings = std::make_shared<qm::RenderSettings>(upscale);
    qm::VideoRenderer renderer(settings);
    const qm::DecodedFrame frame =
        qm::test::flatFrame(1920, 1080, AV_PIX_FMT_YUV420P, 120, 100, 160);
    qm::TextureTarget target = renderer.makeTarget(width, height);
    renderer.encode(frame, target);  // builds the textures and the upscaling stage
    renderer.finish();
    std::vector<double> millis;
    millis.reserve(4096);
    for (auto _ : state) {
        const auto start = Clock::now();
        benchmark::DoNotOptimize(renderer.encode(frame, target));
        renderer.finish();
        const std::chrono::duration<double> elapsed = Clock::now() - start;
        state.SetIterationTime(elapsed.count());
        millis.push_back(elapsed.count() * 1000);
    }
    renderer.releaseTarget(target);
    reportPercentiles(state, std::move(millis), {{"p50_ms", 0.5}, {"p90_ms", 0.9}});
}

void BM_Render1080pTo1080p(benchmark::State& state) {
    drawFrames(state, qm::UpscaleSettings::off, 1920, 1080);
}
void BM_Render1080pTo1440pBicubic(benchmark::State& state) {
    drawFrames(state, {false, 0, qm::UpscaleSettings::Filter::bicubic}, 2560, 1440);
}
void BM_Render1080pTo1440pUpscaled(benchmark::State& state) {
    drawFrames(state, {true, 0.3, qm::UpscaleSettings::Filter::bicubic}, 2560, 1440);
}

// A 720p window: the video under a grid of spinning, relabelled tiles, and a script that
// keeps the GUI thread busy for half of every 16 ms when asked.
constexpr const char* scene = R"(
import QtQuick
import Vantorel.Video 1.0

Window {
    width: 1280; height: 720; visible: true; color: "black"
    property int busyMillis: 0
    VideoView { objectName: "video"; anchors.fill: parent }
    Grid {
        columns: 20; spacing: 4
        Repeater {
            model: 200
            Rectangle {
                width: 56; height: 28; color: Qt.hsla(index / 200, 0.6, 0.5, 0.4)
                RotationAnimation on rotation {
                    from: 0; to: 360; duration: 900 + index; loops: Animation.Infinite
                }
                Text { anchors.centerIn: parent; text: tick.count + index }
            }
        }
    }
    Timer {
        id: tick
        property int count: 0
        interval: 16; repeat: true; running: true
        onTriggered: {
            const end = Date.now() + busyMillis
            while (Date.now() < end) {}
            count++
        }
    }
}
)";

void BM_FrameToPresentation(benchmark::State& state) {
    // Outlive the window, whose render thread reports presentations until it goes.
    std::mutex mutex;
    std::deque<double> arrived;
    QEventLoop loop;
    const auto onPresented = [&](const qm::DecodedFrame& frame, std::uint64_t nanos) {
        {
            std::lock_guard lock(mutex);
            arrived.push_back(double(nanos - frame.decodedAtNanos) / 1e6);
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    };

    QQmlApplicationEngine engine;
    engine.loadData(scene);
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().value(0));
    auto* view = window ? window->findChild<qm::VideoView*>("video") : nullptr;
    if (!view) {
        state.SkipWithError("the scene did not load");
        return;
    }
    window->setProperty("busyMillis", state.range(0) ? 8 : 0);
    view->setVsyncEnabled(state.range(1) != 0);
    qm::VideoStage stage;
    stage.setTarget(view->videoLayer(),
                    std::make_shared<qm::VideoRenderer>(view->renderSettings()));

    // The decoder's side: a 1080p frame every 1/60 s, whatever the GUI thread does.
    std::jthread decoder([&](std::stop_token stop) {
        qm::DecodedFrame frame = qm::test::flatFrame(1920, 1080, AV_PIX_FMT_YUV420P, 120, 100, 160);
        auto next = Clock::now();
        while (!stop.stop_requested()) {
            frame.decodedAtNanos = qm::HostClock::nowNanos();
            stage.frameDecoded(frame, onPresented);
            next += std::chrono::microseconds(16'667);
            std::this_thread::sleep_until(next);
        }
    });

    std::vector<double> millis;
    millis.reserve(std::size_t(state.max_iterations));
    for (auto _ : state) {
        for (;;) {
            {
                std::lock_guard lock(mutex);
                if (!arrived.empty()) {
                    millis.push_back(arrived.front());
                    arrived.pop_front();
                    break;
                }
            }
            loop.exec();
        }
        state.SetIterationTime(millis.back() / 1000);
    }
    decoder.request_stop();
    decoder.join();
    state.counters["dropped"] = stage.droppedCount();
    reportPercentiles(state, std::move(millis), {{"p50_ms", 0.5}, {"p99_ms", 0.99}});
}

BENCHMARK(BM_Render1080pTo1080p)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render1080pTo1440pBicubic)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render1080pTo1440pUpscaled)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameToPresentation)
    ->ArgNames({"busy_gui", "vsync"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Iterations(qm::bench::shortRun() ? 60 : 600)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
