// The live video path on one thread, demultiplex + decode + frame hand-off, against the ffmpeg
// command line decoding the same 1080p60 H.264 clip with one thread. Both run side by side in
// alternating rounds; the medians, their ratio and the per-frame decode times are printed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/wait.h>

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/log.h>
}

#include "BenchClip.h"
#include "BenchRun.h"
#include "Percentile.h"
#include "QuillmereCore/DataByteSource.h"
#include "QuillmereCore/Log.h"
#include "Support/MediaFixtures.h"
#include "Support/MediaPackets.h"
#include "VideoPipeline/LatestFrameSlot.h"
#include "VideoPipeline/VideoDecoder.h"

namespace {

using qm::bench::percentile;

using Clock = std::chrono::steady_clock;
constexpr int clipFrames = 600;

const std::string clipPath = QM_BENCH_CLIP;

const qm::Bytes& framedClip() {
    static const qm::Bytes framed = [] {
        makeBenchClip(clipPath, "-b:v 8M");
        const qm::Bytes stream = qm::test::loadFile(clipPath);
        std::vector<qm::StreamEvent> events;
        events.emplace_back(qm::StreamSession{{1920, 1080}, false});
        for (qm::StreamPacket& packet :
             qm::test::accessUnitPackets(stream, qm::VideoCodec::h264, 60)) {
            events.emplace_back(std::move(packet));
        }
        return qm::test::framed(events);
    }();
    return framed;
}

struct PathRun {
    double seconds = 0;
    int frames = 0;
    std::vector<double> decodeMicros;
};

PathRun runOurPath() {
    qm::DataByteSource source(framedClip());
    qm::LatestFrameSlot slot;
    PathRun run;
    run.decodeMicros.reserve(clipFrames);
    qm::VideoDecoder decoder([&](qm::DecodedFrame frame) { slot.put(std::move(frame)); },
                             [](qm::RecoveryAction) {}, qm::makeSoftwareDecoderBackend({1}));
    const auto start = Clock::now();
    while (auto event = qm::test::nextEventOrEnd(source)) {
        const auto before = Clock::now();
        decoder.handle(*event);
        if (auto frame = slot.take()) {
            run.decodeMicros.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - before).count());
            benchmark::DoNotOptimize(frame->pixelBuffer.frame());
            ++run.frames;
        }
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return run;
}

double runFfmpeg() {
    const std::string command =
        "ffmpeg -hide_banner -loglevel error -threads 1 -i '" + clipPath + "' -f null -";
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (status != 0) {
        throw qm::bench::BenchFailure("ffmpeg failed");
    }
    return seconds;
}

double median(std::vector<double> values) {
    return percentile(std::move(values), 0.5);
}

void compareWithFfmpeg() {
    std::vector<double> ours, theirs, decodeMicros;
    const int rounds = qm::bench::rounds(5);
    for (int round = 0; round < rounds; ++round) {
        PathRun run = runOurPath();
        if (run.frames != clipFrames) {
            throw qm::bench::BenchFailure("decoded " + std::to_string(run.frames) + " of " +
                                          std::to_string(clipFrames) + " frames");
        }
        ours.push_back(run.seconds);
        decodeMicros.insert(decodeMicros.end(), run.decodeMicros.begin(), run.decodeMicros.end());
        theirs.push_back(runFfmpeg());
    }
    const double ourFps = clipFrames / median(ours);
    const double ffmpegFps = clipFrames / median(theirs);
    std::printf("1080p60 H.264, %d frames, one thread, median of %d alternating rounds\n",
                clipFrames, rounds);
    std::printf("  our path (demux + decode + hand-off): %7.1f frames/s\n", ourFps);
    std::printf("  ffmpeg -threads 1 -f null:            %7.1f frames/s (whole process)\n",
                ffmpegFps);
    std::printf("  ratio ours / ffmpeg:                  %7.3f\n", ourFps / ffmpegFps);
    std::printf("  decode time per frame: p50 %.0f us, p99 %.0f us\n",
                percentile(decodeMicros, 0.5), percentile(decodeMicros, 0.99));
}

// Length-prefix conversion of the clip's packets, the one per-packet copy on the path.
void BM_LengthPrefixConversion(benchmark::State& state) {
    qm::DataByteSource source(framedClip());
    std::vector<qm::StreamPacket> packets;
    while (auto event = qm::test::nextEventOrEnd(source)) {
        if (auto* packet = std::get_if<qm::StreamPacket>(&*event)) {
            packets.push_back(std::move(*packet));
        }
    }
    std::vector<qm::ByteView> units;
    qm::Bytes out;
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (const qm::StreamPacket& packet : packets) {
            qm::AnnexB::nalUnits(packet.data, units);
            out.resize(qm::AnnexB::lengthPrefixedSize(units));
            qm::AnnexB::writeLengthPrefixed(units, out);
            bytes += packet.data.size();
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_LengthPrefixConversion)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    av_log_set_level(AV_LOG_ERROR);
    qm::Log::video().set_level(spdlog::level::warn);
    return qm::bench::guarded([] {
        compareWithFfmpeg();
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        return 0;
    });
}
