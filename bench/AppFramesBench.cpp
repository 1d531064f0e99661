// The app's own frame beside the bare stream's, at the same output size in the same run: the
// real application objects and main window playing the bundled demo, and a window holding
// nothing but a video view playing the same demo through a session of its own. Each iteration
// plays the bare stream and then the app for a few seconds each, in a 1280x720 window and at the
// screen's size (the app full screen, as "Full screen when a stream starts" has it), and reports
// presented frames per second, the process's CPU time per presented frame, the app's cost per
// frame over the bare stream's, the frames each window drew per video frame shown, and the
// load average of the machine meanwhile.
//
// Needs a display of 1920x1080 (scripts/bench makes one) and the build tree's bundle, which a
// link beside the program leads to.
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include "BenchRun.h"
#include "Model/AppModel.h"
#include "QuillmereKit/Session/Session.h"
#include "Storage/Bundle.h"
#include "TemporaryHome.h"
#include "VideoPipeline/View/VideoView.h"
#include "Windows/QuillmereApp.h"

namespace {

using namespace qm;
using namespace std::chrono_literals;

constexpr auto warmUp = 2s;
constexpr auto measured = 6s;

struct Figures {
    double fps = 0;
    double cpuMillisPerFrame = 0;
    double windowFramesPerFrame = 0;  // frames the window drew for each video frame shown
};

double cpuMillis() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto millis = [](const timeval& time) {
        return double(time.tv_sec) * 1e3 + double(time.tv_usec) / 1e3;
    };
    return millis(usage.ru_utime) + millis(usage.ru_stime);
}

void runFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

template <typename Condition>
void runUntil(Condition condition, const char* what) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error(what);
        }
        runFor(5ms);
    }
}

// Counts the frames a session presents and the window draws, from a warm-up on.
class PresentCounter {
public:
    void watch(Session& session) {
        session.addPresentObserver([this](std::int64_t, std::uint64_t, std::uint64_t) {
            if (counting_) {
                ++count_;
            }
        });
    }

    Figures measure(QQuickWindow& window) {
        std::atomic<long> swaps = 0;
        const auto swapped = QObject::connect(
            &window, &QQuickWindow::frameSwapped, &window, [&] { ++swaps; }, Qt::DirectConnection);
        runFor(warmUp);
        count_ = 0;
        swaps = 0;
        counting_ = true;
        const double cpuBefore = cpuMillis();
        const auto start = std::chrono::steady_clock::now();
        runFor(measured);
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
        const double cpu = cpuMillis() - cpuBefore;
        counting_ = false;
        QObject::disconnect(swapped);
        const double frames = double(std::max(count_, 1L));
        return {double(count_) / wall.count(), cpu / frames, double(swaps) / frames};
    }

private:
    bool counting_ = false;  // GUI thread only, as the observers are
    long count_ = 0;
};

class BareStream {
public:
    explicit BareStream(std::filesystem::path demo) : demo_(std::move(demo)) {
        component_.setData(R"(
            import QtQuick
            import Vantorel.Video
            Window {
                color: "black"
                VideoView { objectName: "video"; anchors.fill: parent }
            })",
                           QUrl());
        window_.reset(qobject_cast<QQuickWindow*>(component_.create()));
        if (!window_) {
            throw std::runtime_error(component_.errorString().toStdString());
        }
        counter_.watch(session_);
        session_.attach(window_->findChild<VideoView*>("video"));
    }

    Figures play(QSize size) {
        window_->setGeometry(QRect(QPoint(0, 0), size));
        window_->show();
        const GuiTask<void> started = session_.startDemo(demo_);
        runUntil([&] { return started.isSettled(); }, "the bare demo did not start");
        const Figures figures = counter_.measure(*window_);
        const GuiTask<void> stopped = session_.stop();
        runUntil([&] { return stopped.isSettled(); }, "the bare demo did not stop");
        window_->hide();
        return figures;
    }

private:
    std::filesystem::path demo_;
    Session session_{[](const ServerOptions&, std::stop_token) -> ServerConnection {
        throw SessionFailure::disconnected();
    }};
    QQmlEngine engine_;
    QQmlComponent component_{&engine_};
    std::unique_ptr<QQuickWindow> window_;
    PresentCounter counter_;
};

Figures playApp(QuillmereApp& app, QSize size) {
    AppModel& model = app.model();
    QQuickWindow& window = *app.mainWindow();
    const bool fullScreen = size == window.screen()->size();
    model.settings()->setAutoFullScreen(fullScreen);
    window.showNormal();
    window.resize(size);
    model.startDemo();
    auto* session = dynamic_cast<Session*>(model.currentSession().get());
    if (!session) {
        throw std::runtime_error("the demo has no session");
    }
    PresentCounter counter;
    counter.watch(*session);
    runUntil([&] { return session->phase().kind() == SessionPhase::Kind::streaming; },
             "the app's demo did not start");
    if (fullScreen) {
        // Without a window manager, full screen leaves the window's size as it was.
        runUntil([&] { return window.visibility() == QWindow::FullScreen; },
                 "the app did not go full screen");
        window.setGeometry(window.screen()->geometry());
    }
    const Figures figures = counter.measure(window);
    if (window.size() != size) {
        throw std::runtime_error("the app's window is not at the size measured");
    }
    model.closeStream();
    runUntil([&] { return !model.isStopPending(); }, "the app's demo did not stop");
    return figures;
}

QuillmereApp* app = nullptr;
BareStream* bare = nullptr;

void BM_AppFrames(benchmark::State& state, QSize size) {
    if (size.width() > app->mainWindow()->screen()->size().width()) {
        state.SkipWithError("the screen is smaller than 1920x1080");
        return;
    }
    std::array<double, 3> load{};
    for (auto _ : state) {
        getloadavg(load.data(), 1);
        const Figures bareFigures = bare->play(size);
        const Figures appFigures = playApp(*app, size);
        double after = 0;
        getloadavg(&after, 1);
        state.SetIterationTime(2 * std::chrono::duration<double>(warmUp + measured).count());
        state.counters["app_fps"] = appFigures.fps;
        state.counters["bare_fps"] = bareFigures.fps;
        state.counters["app_cpu_ms"] = appFigures.cpuMillisPerFrame;
        state.counters["bare_cpu_ms"] = bareFigures.cpuMillisPerFrame;
        state.counters["app_draws"] = appFigures.windowFramesPerFrame;
        state.counters["bare_draws"] = bareFigures.windowFramesPerFrame;
        state.counters["app_over_bare"] =
            appFigures.cpuMillisPerFrame / bareFigures.cpuMillisPerFrame;
        state.counters["load"] = (load[0] + after) / 2;
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // The app's settings and files in a home of the run's own.
    QTemporaryDir home;
    qm::test::useHome(home.path());
    QStandardPaths::setTestModeEnabled(true);
    QuillmereApp application(argc, argv);
    if (!application.mainWindow()) {
        std::fprintf(stderr, "the main window did not load\n");
        return 1;
    }
    const std::optional<QString> demo = Bundle::main().path(u"demo", u"qmstream", u"Demo");
    if (!demo) {
        std::fprintf(stderr, "no bundled demo: the bundle link beside the program is missing\n");
        return 1;
    }
    BareStream bareStream(demo->toStdString());
    app = &application;
    bare = &bareStream;
    for (const QSize size : {QSize(1280, 720), QSize(1920, 1080)}) {
        benchmark::RegisterBenchmark(
            ("BM_AppFrames/" + std::to_string(size.width()) + "x" + std::to_string(size.height()))
                .c_str(),
            BM_AppFrames, size)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
    }
    return qm::bench::guarded([] {
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        return 0;
    });
}
