// Bytes per second through an ADB connection to the fake phone over the in-memory link, both
// ways, beside memcpy of the same 64 MiB: the ceiling of any byte path in this process.
#include <cstring>

#include <benchmark/benchmark.h>

#include "Support/TestHost.h"

namespace qm::test {
namespace {

constexpr std::size_t fileSize = 64 * 1024 * 1024;
constexpr std::size_t readSize = 256 * 1024;
constexpr std::string_view sourceCommand = "cat /data/local/tmp/big";

const Bytes& payload() {
    static const Bytes bytes = [] {
        Bytes out(fileSize);
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = static_cast<std::uint8_t>(i * 31 + (i >> 12));
        }
        return out;
    }();
    return bytes;
}

void report(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fileSize));
    state.counters["MB/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * fileSize) / 1e6, benchmark::Counter::kIsRate);
}

void BM_Memcpy64MiB(benchmark::State& state) {
    Bytes to(fileSize);
    for (auto _ : state) {
        std::memcpy(to.data(), payload().data(), fileSize);
        benchmark::ClobberMemory();
    }
    report(state);
}

void BM_Push64MiB(benchmark::State& state) {
    FakePhone phone;
    auto host = connectedHost(phone);
    for (auto _ : state) {
        host->push(payload(), "/data/local/tmp/big", 0644, 0);
    }
    if (!phone.adb().violations().empty() ||
        phone.adb().services().file("/data/local/tmp/big")->data.size() != fileSize) {
        state.SkipWithError("the phone did not get the file intact");
    }
    report(state);
}

void BM_Read64MiB(benchmark::State& state) {
    FakePhone phone;
    phone.adb().services().answerShell(std::string(sourceCommand), payload());
    auto host = connectedHost(phone);
    Bytes into(readSize);
    for (auto _ : state) {
        const auto stream = host->open("shell:" + std::string(sourceCommand));
        for (std::size_t done = 0; done < fileSize; done += readSize) {
            stream->readExactly(into);
        }
        benchmark::DoNotOptimize(into.data());
    }
    if (!phone.adb().violations().empty()) {
        state.SkipWithError("the phone saw a protocol violation");
    }
    report(state);
}

BENCHMARK(BM_Memcpy64MiB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Push64MiB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Read64MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace qm::test

BENCHMARK_MAIN();
