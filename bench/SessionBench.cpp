// Host latency of the live video path: the fake phone serves 600 frames of a 1080p60 H.264 clip
// at 60 fps over the fake USB bus to the real device link, launcher and session. A frame's
// latency runs from the fake server handing its packet's last byte to the video socket to the
// session handing the decoded frame to its stage. Against it, the same packets decoded alone
// by the same decoder, from the first byte handed to it to its frame. Medians and 99th
// percentiles of both, and the differences of their medians over the repetitions (target: within
// 2 ms of decoding).
#include <QCoreApplication>
#include <QObject>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/log.h>
}

#include "BenchClip.h"
#include "BenchRun.h"
#include "DeviceLink/DeviceLink.h"
#include "MedianReporter.h"
#include "Percentile.h"
#include "QuillmereCore/HostClock.h"
#include "QuillmereCore/Log.h"
#include "QuillmereKit/Session/Session.h"
#include "QuillmereKit/Tasks/QtExecutor.h"
#include "Support/FakeUsb.h"
#include "Support/MediaFixtures.h"
#include "Support/TestHost.h"
#include "VideoPipeline/VideoDecoder.h"

namespace {

using qm::bench::BenchFailure;
using qm::bench::percentile;

using namespace std::chrono_literals;

constexpr std::size_t clipFrames = 600;
const std::string clipPath = QM_BENCH_CLIP;

std::shared_ptr<const qm::test::FakeVideoClip> clip() {
    static const auto made = [] {
        makeBenchClip(clipPath, "-b:v 8M");
        return std::make_shared<const qm::test::FakeVideoClip>(
            qm::test::loadFile(clipPath), qm::VideoCodec::h264, qm::VideoSize{1920, 1080}, 60);
    }();
    return made;
}

// The stage's render queue, noting when each frame is handed over. One producer: the reader.
class HandOffClock final : public qm::Executor {
public:
    void post(std::function<void()> work) override {
        const std::size_t index = count_.load(std::memory_order_relaxed);
        if (index < times_.size()) {
            times_[index] = qm::HostClock::nowNanos();
            count_.store(index + 1, std::memory_order_release);
        }
        work();
    }
    std::size_t count() const { return count_.load(std::memory_order_acquire); }
    std::uint64_t at(std::size_t index) const { return times_[index]; }

private:
    std::array<std::uint64_t, 2 * clipFrames> times_{};
    std::atomic<std::size_t> count_{0};
};

template <typename Condition>
bool pumpUntil(Condition condition, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Microseconds per frame from the packet's last byte on the phone to the stage.
std::vector<double> streamOnce() {
    const qm::bench::TempFolder folder("qm-bench-session");
    qm::test::writeTestHostKey(folder / "adbkey");

    qm::test::FakeServerScript script;
    script.refusedWhileStarting = 0;
    script.videoClips[qm::VideoCodec::h264] = clip();
    script.pacedVideo = true;
    qm::test::FakeUsb usb;
    qm::test::FakeUsbDevice::Options phone = qm::test::trustingPhone();
    phone.prepare = [trust = phone.prepare, script](qm::test::FakePhone& fake) {
        trust(fake);
        fake.server().setScript(script);
    };
    const qm::UsbAdbDevice identity{qm::UsbInterfaceID::make(1, 4, 1, 0), "QM0001", "QM One"};
    const auto device = usb.attach(identity, phone);

    qm::DeviceLinkOptions linkOptions;
    linkOptions.events = usb.events();
    linkOptions.openTransport = usb.opener();
    qm::DeviceLink link(folder / "adbkey", "bench", linkOptions);
    QObject context;
    qm::QtExecutor onMain(&context);
    bool connected = false;
    const auto subscription = link.states(onMain, [&](const qm::DeviceLinkState& state) {
        connected = std::holds_alternative<qm::DeviceLinkState::Connected>(state.value);
    });
    link.start();

    auto handOffs = std::make_shared<HandOffClock>();
    qm::SessionEnvironment environment;
    environment.renderQueue = handOffs;
    qm::Session session(link, qm::Bytes{'j', 'a', 'r'}, environment);
    qm::ServerOptions options(qm::ServerOptions::randomScid());
    options.maxSize = 1920;
    options.audio = false;
    if (!pumpUntil([&] { return connected; }, 30s)) {
        throw BenchFailure("the fake phone never connected");
    }
    session.start(std::nullopt, options);
    if (!pumpUntil([&] { return handOffs->count() >= clipFrames; }, 60s)) {
        throw BenchFailure(std::to_string(handOffs->count()) + " of " + std::to_string(clipFrames) +
                           " frames reached the stage");
    }
    const qm::GuiTask<void> stopped = session.stop();
    pumpUntil([&] { return stopped.isSettled(); }, 30s);

    std::vector<qm::test::FakeVideoSend> sends;
    for (const qm::test::FakeVideoSend& send : device->phone()->server().videoSends()) {
        if (send.kind != qm::StreamPacket::Kind::config) {
            sends.push_back(send);
        }
    }
    std::vector<double> micros;
    for (std::size_t i = 0; i < clipFrames && i < sends.size(); ++i) {
        micros.push_back(static_cast<double>(handOffs->at(i) - sends[i].sentNanos) / 1000.0);
    }
    return micros;
}

// Microseconds per frame from handing its packets (parameter sets with a key frame) to the
// decoder to its frame, with the session's decoder and backend.
std::vector<double> decodeAlone() {
    std::vector<double> micros;
    std::uint64_t handed = 0;
    qm::VideoDecoder decoder(
        [&](qm::DecodedFrame frame) {
            micros.push_back(static_cast<double>(frame.decodedAtNanos - handed) / 1000.0);
        },
        [](qm::RecoveryAction) {});
    decoder.handle(qm::StreamSession{clip()->size, false});
    bool batchOpen = false;
    for (const qm::StreamPacket& packet : clip()->packets) {
        if (!batchOpen) {
            handed = qm::HostClock::nowNanos();
        }
        decoder.handle(packet);
        batchOpen = packet.kind == qm::StreamPacket::Kind::config;
    }
    return micros;
}

// Each repetition's percentiles, over all its iterations' frames.
void report(benchmark::State& state, const std::vector<double>& micros) {
    state.counters["p50_us"] = percentile(micros, 0.5);
    state.counters["p99_us"] = percentile(micros, 0.99);
}

void BM_SessionHostLatency(benchmark::State& state) {
    std::vector<double> micros;
    for (auto _ : state) {
        const std::vector<double> run = streamOnce();
        micros.insert(micros.end(), run.begin(), run.end());
    }
    report(state, micros);
}
BENCHMARK(BM_SessionHostLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_DecodeAlone(benchmark::State& state) {
    std::vector<double> micros;
    for (auto _ : state) {
        const std::vector<double> run = decodeAlone();
        micros.insert(micros.end(), run.begin(), run.end());
    }
    report(state, micros);
}
BENCHMARK(BM_DecodeAlone)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    av_log_set_level(AV_LOG_ERROR);
    for (spdlog::logger* logger : {&qm::Log::adb(), &qm::Log::usb(), &qm::Log::server(),
                                   &qm::Log::video(), &qm::Log::session()}) {
        logger->set_level(spdlog::level::warn);
    }
    return qm::bench::guarded([] {
        MedianReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        benchmark::Shutdown();
        const auto session50 = reporter.median("BM_SessionHostLatency", "p50_us");
        const auto session99 = reporter.median("BM_SessionHostLatency", "p99_us");
        const auto decode50 = reporter.median("BM_DecodeAlone", "p50_us");
        const auto decode99 = reporter.median("BM_DecodeAlone", "p99_us");
        if (session50 && session99 && decode50 && decode99) {
            std::printf("1080p60 H.264, %zu frames served at 60 fps, medians of the repetitions\n",
                        clipFrames);
            std::printf("  host latency, phone socket to stage: p50 %7.0f us  p99 %7.0f us\n",
                        *session50, *session99);
            std::printf("  decoding alone:                     p50 %7.0f us  p99 %7.0f us\n",
                        *decode50, *decode99);
            std::printf(
                "  difference:                         p50 %+7.0f us  p99 %+7.0f us "
                "(target: within 2000 us)\n",
                *session50 - *decode50, *session99 - *decode99);
        }
        return 0;
    });
}
