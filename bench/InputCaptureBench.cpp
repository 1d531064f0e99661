// Events per second from prepared Qt events through the application-wide filter, the input
// capture and the coordinator into the input router, in keyboard-and-mouse pass-through and in
// keymap mode, against the same input events handed to the router alone; with the heap
// allocations made per event (global operator new is counted in this program only). A filter
// after the capture's keeps the events from the window, so Qt Quick's own delivery is not timed.
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <iostream>
#include <memory>
#include <vector>

#include <linux/input-event-codes.h>

#include <benchmark/benchmark.h>

#include "AllocationCount.h"
#include "InputFakes.h"
#include "MedianReporter.h"

namespace qm {
namespace {

// Stops every event to the window once the capture has seen it.
class Sink : public QObject {
public:
    explicit Sink(QObject& window) : window_(window) {}
    bool eventFilter(QObject* receiver, QEvent*) override { return receiver == &window_; }

private:
    QObject& window_;
};

// Typing, pointing, clicking and scrolling over the video, with the input events they stand
// for: 16 Qt events, in pairs that leave nothing held.
struct Mix {
    std::vector<std::unique_ptr<QEvent>> qt;
    std::vector<InputEvent> input;

    Mix() {
        const auto key = [&](QEvent::Type type, quint32 evdev, std::uint16_t mac) {
            qt.push_back(std::make_unique<QKeyEvent>(type, 0, Qt::NoModifier, evdev + 8, 0, 0));
            if (type == QEvent::KeyPress) {
                input.push_back(KeyDownEvent{mac, {}, false});
            } else {
                input.push_back(KeyUpEvent{mac, {}});
            }
        };
        const auto mouse = [&](QEvent::Type type, QPointF at, Qt::MouseButton button) {
            qt.push_back(
                std::make_unique<QMouseEvent>(type, at, at, at, button, button, Qt::NoModifier));
            if (type == QEvent::MouseMove) {
                input.push_back(MouseMovedEvent{{at.x(), at.y()}});
            } else {
                input.push_back(
                    MouseButtonEvent{0, type == QEvent::MouseButtonPress, {at.x(), at.y()}});
            }
        };
        key(QEvent::KeyPress, KEY_W, 13);
        key(QEvent::KeyPress, KEY_A, 0);
        mouse(QEvent::MouseMove, {120, 90}, Qt::NoButton);
        mouse(QEvent::MouseButtonPress, {120, 90}, Qt::LeftButton);
        mouse(QEvent::MouseMove, {130, 95}, Qt::NoButton);
        mouse(QEvent::MouseMove, {140, 100}, Qt::NoButton);
        mouse(QEvent::MouseButtonRelease, {140, 100}, Qt::LeftButton);
        key(QEvent::KeyRelease, KEY_A, 0);
        key(QEvent::KeyPress, KEY_SPACE, 49);
        key(QEvent::KeyRelease, KEY_SPACE, 49);
        key(QEvent::KeyRelease, KEY_W, 13);
        mouse(QEvent::MouseMove, {200, 150}, Qt::NoButton);
        qt.push_back(std::make_unique<QWheelEvent>(QPointF(200, 150), QPointF(200, 150), QPoint(),
                                                   QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                                                   Qt::NoScrollPhase, false));
        input.push_back(ScrollEvent{0, 1, {200, 150}});
        key(QEvent::KeyPress, KEY_D, 2);
        mouse(QEvent::MouseMove, {210, 160}, Qt::NoButton);
        key(QEvent::KeyRelease, KEY_D, 2);
    }
};

// Runs `step(i)` once per iteration and reports events per second, and allocations and
// messages to the phone per event.
template <typename Step>
void measure(benchmark::State& state, test::FakeSession& session, Step&& step) {
    for (std::size_t i = 0; i < 4096; ++i) {  // warms the reused buffers
        step(i);
        session.messages.clear();
    }
    std::size_t i = 0;
    std::size_t messages = 0;
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        step(i++);
        messages += session.messages.size();
        session.messages.clear();  // keeps its capacity
    }
    const std::uint64_t made = bench::allocationCount() - before;
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.counters["allocs/event"] = double(made) / double(state.iterations());
    state.counters["msgs/event"] = double(messages) / double(state.iterations());
}

void run(benchmark::State& state, InputMode mode, bool throughCapture) {
    test::InputFixture f;
    Sink sink(f.view.window);
    QCoreApplication::instance()->installEventFilter(&sink);
    f.settings.setInputMode(mode, "com.game");
    f.attach();
    f.startStreaming();
    const Mix mix;
    if (throughCapture) {
        measure(state, f.session, [&](std::size_t i) {
            QCoreApplication::sendEvent(&f.view.window, mix.qt[i % mix.qt.size()].get());
        });
    } else {
        measure(state, f.session,
                [&](std::size_t i) { f.session.router.handle(mix.input[i % mix.input.size()]); });
    }
    f.coordinator.detach();
    QCoreApplication::instance()->removeEventFilter(&sink);
}

void BM_CapturePassThrough(benchmark::State& state) {
    run(state, InputMode::keyboardMouse, true);
}
void BM_RouterPassThrough(benchmark::State& state) {
    run(state, InputMode::keyboardMouse, false);
}
void BM_CaptureKeymap(benchmark::State& state) {
    run(state, InputMode::keymap, true);
}
void BM_RouterKeymap(benchmark::State& state) {
    run(state, InputMode::keymap, false);
}

BENCHMARK(BM_CapturePassThrough);
BENCHMARK(BM_RouterPassThrough);
BENCHMARK(BM_CaptureKeymap);
BENCHMARK(BM_RouterKeymap);

}  // namespace
}  // namespace qm

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    QGuiApplication app(argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* mix : {"PassThrough", "Keymap"}) {
        const auto captured = reporter.median(std::string("BM_Capture") + mix, "items_per_second");
        const auto alone = reporter.median(std::string("BM_Router") + mix, "items_per_second");
        if (captured && alone) {
            std::cout << mix << ": " << *captured / 1e6 << " M events/s through the capture, "
                      << *alone / 1e6 << " M events/s to the router alone, ratio "
                      << *captured / *alone << "\n";
        }
    }
    benchmark::Shutdown();
    return 0;
}
