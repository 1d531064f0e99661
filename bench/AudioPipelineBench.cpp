// The render core's throughput against real time and against memcpy of the bytes it delivers,
// its allocations, and the latency the jitter buffer adds for a steady and a fast phone.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iostream>
#include <random>
#include <vector>

#include <fmt/format.h>

#include <benchmark/benchmark.h>

#include "AllocationCount.h"
#include "AudioPipeline/AudioRenderCore.h"
#include "MedianReporter.h"

namespace qm {
namespace {

constexpr int rate = 48000;
constexpr int channels = 2;
constexpr int chunk = 4096;
constexpr std::int64_t chunkBytesOut = std::int64_t(chunk) * channels * sizeof(float);

// The player's configuration: half a second of ring, a 40 ms target.
AudioRenderCore playerCore() {
    return AudioRenderCore(rate / 2, channels, rate * 40 / 1000);
}

Bytes noisePCM(int frames) {
    Bytes pcm(std::size_t(frames) * channels * 2);
    std::mt19937 random(7);
    for (auto& byte : pcm) {
        byte = static_cast<std::uint8_t>(random());
    }
    return pcm;
}

void report(benchmark::State& state, std::uint64_t allocations) {
    state.SetItemsProcessed(state.iterations() * chunk);
    state.SetBytesProcessed(state.iterations() * chunkBytesOut);
    state.counters["allocs/pull"] = double(allocations) / double(state.iterations());
}

// Pulls of 4096 frames from a core topped up by a packet of as many before each; the write is
// timed too when `withWrite`.
void BM_Core(benchmark::State& state, bool withWrite) {
    AudioRenderCore core = playerCore();
    const Bytes packet = noisePCM(chunk);
    std::vector<float> out(std::size_t(chunk) * channels);
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        core.write(packet, 0);
        if (!withWrite) {
            start = std::chrono::steady_clock::now();
        }
        core.render(chunk, out.data());
        const auto end = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(out.data());
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    report(state, bench::allocationCount() - before);
}
BENCHMARK_CAPTURE(BM_Core, Pull, false)->UseManualTime();
BENCHMARK_CAPTURE(BM_Core, WriteAndPull, true)->UseManualTime();

// The ceiling: copying the 32 KiB of float frames a pull delivers.
void BM_MemcpySameBytes(benchmark::State& state) {
    std::vector<float> from(std::size_t(chunk) * channels, 0.25f);
    std::vector<float> to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), std::size_t(chunkBytesOut));
        benchmark::ClobberMemory();
    }
    report(state, 0);
}
BENCHMARK(BM_MemcpySameBytes);

struct Latency {
    double p50 = 0;
    double p99 = 0;
    double max = 0;
    std::int64_t underruns = 0;
    std::int64_t dropped = 0;
    std::uint64_t allocations = 0;
};

// 60 s of 20 ms packets sent `speed` times as fast as the device plays them, each late or early
// by up to 5 ms, against a device pulling 512 frames per 10.67 ms, on a simulated clock. The
// level is sampled as each pull begins: the delay that block's first frame has waited.
Latency simulate(double speed) {
    constexpr std::uint64_t second = 1'000'000'000;
    constexpr int packetFrames = rate / 50;
    constexpr int pullFrames = 512;
    AudioRenderCore core = playerCore();
    const Bytes packet = noisePCM(packetFrames);
    std::vector<float> block(std::size_t(pullFrames) * channels);
    std::vector<double> levels;
    levels.reserve(60 * rate / pullFrames + 1);
    std::mt19937 random(42);
    std::uniform_int_distribution<std::int64_t> jitter(-5'000'000, 5'000'000);

    const double packetPeriod = 20e6 / speed;
    std::int64_t sent = 0;
    std::int64_t pulled = 0;
    auto nextSend = [&] {
        return std::uint64_t(5'000'000 + std::llround(double(sent) * packetPeriod) +
                             jitter(random));
    };
    std::uint64_t sendAt = nextSend();
    const std::uint64_t before = bench::allocationCount();
    while (true) {
        const std::uint64_t pullAt = std::uint64_t(pulled) * pullFrames * second / rate;
        if (std::min(sendAt, pullAt) >= 60 * second) {
            break;
        }
        if (sendAt <= pullAt) {
            core.write(packet, sendAt);
            ++sent;
            sendAt = nextSend();
        } else {
            levels.push_back(double(core.bufferedFrames()) * 1000.0 / rate);
            core.render(pullFrames, block.data());
            ++pulled;
        }
    }
    Latency result;
    result.allocations = bench::allocationCount() - before;
    std::sort(levels.begin(), levels.end());
    auto at = [&](double q) { return levels[std::size_t(q * double(levels.size() - 1))]; };
    result.p50 = at(0.5);
    result.p99 = at(0.99);
    result.max = levels.back();
    result.underruns = core.underruns();
    result.dropped = core.droppedFrames();
    return result;
}

}  // namespace
}  // namespace qm

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    MedianReporter rates;
    benchmark::RunSpecifiedBenchmarks(&rates);
    const auto memcpy = rates.median("BM_MemcpySameBytes", "items_per_second");
    for (const char* name : {"BM_Core/Pull", "BM_Core/WriteAndPull"}) {
        const auto core = rates.median(name, "items_per_second");
        if (core && memcpy) {
            std::cout << fmt::format("{}: {:.0f} frames/s, {:.0f}x real time, {:.3f}x memcpy\n",
                                     name, *core, *core / qm::rate, *core / *memcpy);
        }
    }
    for (const auto& [name, speed] :
         {std::pair{"steady sender", 1.0}, {"0.5 % fast sender", 1.005}}) {
        const qm::Latency l = qm::simulate(speed);
        std::cout << fmt::format(
            "{}: buffered p50 {:.1f} ms, p99 {:.1f} ms, max {:.1f} ms; underruns {}, dropped "
            "frames {}, allocations {}\n",
            name, l.p50, l.p99, l.max, l.underruns, l.dropped, l.allocations);
    }
    benchmark::Shutdown();
}
