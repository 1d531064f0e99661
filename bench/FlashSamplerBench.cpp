// What watching the window for the flash test costs each frame: a window of the stream's size
// whose whole picture changes every frame, drawn with and without the sampler's read-back.
// Each frame is timed on the render thread from synchronising to the swap; p50 and p90 per
// frame are reported as counters, in milliseconds.
#include <QEventLoop>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchRun.h"
#include "Developer/FlashPixelSampler.h"

namespace {

using Clock = std::chrono::steady_clock;

const int frames = qm::bench::shortRun() ? 60 : 600;

void drawFrames(benchmark::State& state, bool sampling) {
    QQmlApplicationEngine engine;
    engine.loadData(R"(
        import QtQuick
        Window {
            width: 1280; height: 720; visible: true
            Rectangle {
                objectName: "picture"; anchors.fill: parent
                gradient: Gradient {
                    GradientStop { position: 0; color: "black" }
                    GradientStop { objectName: "stop"; position: 1; color: "green" }
                }
            }
        })");
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().value(0));
    if (!window) {
        state.SkipWithError("no window");
        return;
    }
    QObject* stop = window->findChild<QObject*>("stop");
    QEventLoop waiting;
    while (!window->isExposed()) {
        waiting.processEvents(QEventLoop::WaitForMoreEvents);
    }

    qm::FlashPixelSampler sampler;
    if (sampling) {
        sampler.start(window, qm::FlashPixelSampler::sampleRegion(QRectF(0, 0, 1280, 720)));
    }
    Clock::time_point began;
    std::atomic<double> lastMillis = 0;
    QObject::connect(
        window, &QQuickWindow::beforeSynchronizing, window, [&] { began = Clock::now(); },
        Qt::DirectConnection);
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [&] {
            lastMillis = std::chrono::duration<double, std::milli>(Clock::now() - began).count();
        },
        Qt::DirectConnection);
    QObject::connect(window, &QQuickWindow::frameSwapped, &waiting, &QEventLoop::quit,
                     Qt::QueuedConnection);

    std::vector<double> millis;
    millis.reserve(frames);
    int frame = 0;
    for (auto _ : state) {
        ++frame;
        stop->setProperty("color", QColor::fromHsv(frame * 7 % 360, 255, 255));
        waiting.exec();
        state.SetIterationTime(lastMillis / 1000);
        millis.push_back(lastMillis);
    }
    sampler.stop();
    std::sort(millis.begin(), millis.end());
    if (!millis.empty()) {
        state.counters["p50_ms"] = millis[millis.size() / 2];
        state.counters["p90_ms"] = millis[millis.size() * 9 / 10];
    }
}

void BM_FrameWithoutSampler(benchmark::State& state) {
    drawFrames(state, false);
}
void BM_FrameWithSampler(benchmark::State& state) {
    drawFrames(state, true);
}

BENCHMARK(BM_FrameWithoutSampler)
    ->UseManualTime()
    ->Iterations(frames)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameWithSampler)->UseManualTime()->Iterations(frames)->Unit(benchmark::kMillisecond);

}  // namespace
