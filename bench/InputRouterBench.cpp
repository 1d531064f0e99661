// Events per second through keyboard-and-mouse pass-through, the virtual controller and the
// router playing a keymap, with the heap allocations made per event (global operator new is
// counted in this program only). Prints the keymap/pass-through ratio of the median rates.
#include <array>
#include <cstdint>
#include <iostream>

#include <benchmark/benchmark.h>

#include "AllocationCount.h"
#include "InputRouter/GamepadBridge.h"
#include "InputRouter/InputRouter.h"
#include "InputRouter/KeyboardMousePassThrough.h"
#include "InputRouter/ProfileTemplates.h"
#include "MedianReporter.h"

namespace qm {
namespace {

const VideoGeometry geometry({1080, 2400}, {100, 0, 540, 1200});

// Runs `step(i)`, which returns the number of messages it produced, once per iteration and
// reports events per second and allocations per event over the timed loop.
template <typename Step>
void measureEvents(benchmark::State& state, Step&& step) {
    for (std::uint64_t i = 0; i < 4096; ++i) {  // warm the reused slots and buffers
        step(i);
    }
    std::uint64_t i = 0;
    std::uint64_t messages = 0;
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        messages += step(i++);
    }
    const std::uint64_t made = bench::allocationCount() - before;
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.counters["allocs/event"] = double(made) / double(state.iterations());
    state.counters["msgs/event"] = double(messages) / double(state.iterations());
}

// Runs `step(i, out)` on one reused list.
template <typename Step>
void measure(benchmark::State& state, Step&& step) {
    MessageList out;
    measureEvents(state, [&](std::uint64_t i) {
        out.clear();
        step(i, out);
        benchmark::DoNotOptimize(out);
        return out.size();
    });
}

// Typing: presses, auto-repeats and releases over eight keys with changing modifiers.
void BM_KeyboardMousePassThroughKeys(benchmark::State& state) {
    constexpr std::array<std::uint16_t, 8> keys{0, 1, 2, 13, 49, 36, 126, 122};
    KeyboardMousePassThrough input;
    const std::optional<VideoGeometry> g = geometry;
    measure(state, [&](std::uint64_t i, MessageList& out) {
        const std::uint16_t key = keys[(i / 4) % keys.size()];
        const KeyModifiers mods((i & 8) ? KeyModifiers::shift : KeyModifiers{});
        switch (i % 4) {
            case 0:
                input.handle(KeyDownEvent{key, mods, false}, g, out);
                break;
            case 1:
            case 2:
                input.handle(KeyDownEvent{key, mods, true}, g, out);
                break;
            default:
                input.handle(KeyUpEvent{key, mods}, g, out);
        }
    });
}
BENCHMARK(BM_KeyboardMousePassThroughKeys);

// Dragging: a held left button moving over and past the picture, lifted every 64 moves.
void BM_KeyboardMousePassThroughMouseMoves(benchmark::State& state) {
    KeyboardMousePassThrough input;
    const std::optional<VideoGeometry> g = geometry;
    measure(state, [&](std::uint64_t i, MessageList& out) {
        const PointF point{90.0 + double(i % 600), double((i * 7) % 1300)};
        switch (i % 64) {
            case 0:
                input.handle(MouseButtonEvent{0, true, {370, 600}}, g, out);
                break;
            case 63:
                input.handle(MouseButtonEvent{0, false, point}, g, out);
                break;
            default:
                input.handle(MouseMovedEvent{point}, g, out);
        }
    });
}
BENCHMARK(BM_KeyboardMousePassThroughMouseMoves);

// Both at once: every fourth event a key, the rest drag moves and an occasional scroll.
void BM_KeyboardMousePassThroughMixed(benchmark::State& state) {
    KeyboardMousePassThrough input;
    const std::optional<VideoGeometry> g = geometry;
    MessageList setup;
    input.handle(MouseButtonEvent{0, true, {370, 600}}, g, setup);
    measure(state, [&](std::uint64_t i, MessageList& out) {
        const PointF point{100.0 + double(i % 540), double((i * 3) % 1200)};
        if (i % 4 == 0) {
            const std::uint16_t key = (i / 4) % 2 ? 13 : 0;
            if (i % 8 == 0) {
                input.handle(KeyDownEvent{key, {}, false}, g, out);
            } else {
                input.handle(KeyUpEvent{key, {}}, g, out);
            }
        } else if (i % 16 == 7) {
            input.handle(ScrollEvent{0, 3, point}, g, out);
        } else {
            input.handle(MouseMovedEvent{point}, g, out);
        }
    });
}
BENCHMARK(BM_KeyboardMousePassThroughMixed);

// A controller streaming samples that all differ: one 64-byte report per event.
void BM_GamepadBridgeUpdates(benchmark::State& state) {
    GamepadBridge bridge;
    MessageList setup;
    bridge.enter(setup);
    measure(state, [&](std::uint64_t i, MessageList& out) {
        GamepadState sample;
        sample.leftStick = {double(i % 200) / 100.0 - 1.0, -0.25};
        sample.rightStick = {0.5, double(i % 50) / 50.0};
        sample.rightTrigger = double(i % 10) / 10.0;
        sample.buttons = GamepadButtons(static_cast<std::uint32_t>(i) & 0x3FFFF);
        bridge.update(sample, out);
    });
}
BENCHMARK(BM_GamepadBridgeUpdates);

// A shooter played with keys, mouse and controller at once, through the router: WASD, taps on
// Space and the left button, mouse look, left-stick samples and ticks at 120 Hz driving the
// right-stick look.
void BM_InputRouterKeymapMix(benchmark::State& state) {
    std::uint64_t sent = 0;
    InputRouter router([&](const ControlMessage& message) {
        benchmark::DoNotOptimize(&message);
        ++sent;
    });
    router.setMode(InputMode::keymap);
    router.setGeometry(VideoGeometry({1920, 1080}, {0, 0, 1920, 1080}));
    router.setProfile(ProfileTemplates::shooter("com.example.shooter"));
    std::uint64_t now = 1'000'000'000;
    measureEvents(state, [&](std::uint64_t i) {
        const std::uint64_t before = sent;
        const PointF at{1500, 700};
        switch (i % 16) {
            case 0:
                router.handle(KeyDownEvent{13, {}, false});  // W
                break;
            case 4:
                router.handle(KeyDownEvent{2, {}, false});  // D
                break;
            case 8:
                router.handle(KeyUpEvent{13, {}});
                break;
            case 12:
                router.handle(KeyUpEvent{2, {}});
                break;
            case 2:
                router.handle(KeyDownEvent{49, {}, false});  // Space
                break;
            case 6:
                router.handle(KeyUpEvent{49, {}});
                break;
            case 10:
                router.handle(MouseButtonEvent{0, true, at});
                break;
            case 14:
                router.handle(MouseButtonEvent{0, false, at});
                break;
            case 3:
            case 11: {
                GamepadState sample;
                sample.leftStick = {double(i % 64) / 64.0, -0.5};
                sample.rightStick = {0.8, (i % 32) < 16 ? 0.2 : -0.2};
                router.handle(GamepadEvent{sample});
                break;
            }
            case 7:
            case 15:
                now += 8'333'333;
                router.tick(now);
                break;
            default:
                router.handle(MouseDeltaEvent{(i % 32) < 16 ? 7.5 : -7.5, 1.25});
        }
        return sent - before;
    });
}
BENCHMARK(BM_InputRouterKeymapMix);

}  // namespace
}  // namespace qm

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto keymap = reporter.median("BM_InputRouterKeymapMix", "items_per_second");
    const auto direct = reporter.median("BM_KeyboardMousePassThroughMixed", "items_per_second");
    if (keymap && direct) {
        std::cout << "keymap router " << *keymap / 1e6 << " M events/s, pass-through "
                  << *direct / 1e6 << " M events/s, ratio " << *keymap / *direct << "\n";
    }
    benchmark::Shutdown();
}
