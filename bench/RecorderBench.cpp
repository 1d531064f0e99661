// Recording a 10 s 1080p60 H.264 clip at 20 Mbit/s with 10 s of stereo PCM, flat out: media
// seconds per wall second and MB/s against the stream's 2.5 MB/s, beside the ffmpeg command
// line doing the same (stream copy, AAC encode, fragmented MP4). Then what the stream's thread
// pays per appendVideo() while the recorder writes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/log.h>
}

#include "BenchClip.h"
#include "BenchRun.h"
#include "Percentile.h"
#include "QuillmereCore/DataByteSource.h"
#include "QuillmereCore/Log.h"
#include "Recorder/AnnexBSamples.h"
#include "Recorder/StreamRecorder.h"
#include "Support/FakeServerMedia.h"
#include "Support/MediaFixtures.h"
#include "Support/MediaPackets.h"
#include "VideoPipeline/AnnexB.h"

namespace {

using qm::bench::BenchFailure;
using qm::bench::percentile;

using Clock = std::chrono::steady_clock;
constexpr double mediaSeconds = 10;
constexpr double streamMegabytesPerSecond = 2.5;  // 20 Mbit/s

const std::string clipPath = QM_BENCH_CLIP;

void runCommand(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        throw BenchFailure("failed: " + command);
    }
}

struct Media {
    qm::FormatDescription format;
    std::vector<qm::StreamPacket> video;
    std::vector<qm::StreamPacket> audio;
    std::size_t bytes = 0;
};

const Media& media() {
    static const Media media = [] {
        makeBenchClip(clipPath, "-b:v 20M -maxrate 20M -bufsize 20M");
        Media made;
        made.video =
            qm::test::accessUnitPackets(qm::test::loadFile(clipPath), qm::VideoCodec::h264, 60);
        made.format = qm::FormatDescriptionFactory::make(
            qm::VideoCodec::h264,
            qm::AnnexB::parameterSets(qm::VideoCodec::h264, made.video[0].data));
        qm::DataByteSource source(qm::test::fakeAudioStream(500));
        source.readExactly(4);  // the codec id
        while (auto event = qm::test::nextEventOrEnd(source)) {
            made.audio.push_back(std::get<qm::StreamPacket>(*event));
        }
        for (const auto& packets : {made.video, made.audio}) {
            for (const qm::StreamPacket& packet : packets) {
                made.bytes += packet.data.size();
            }
        }
        return made;
    }();
    return media;
}

// Video and audio in time order, moved in as the stream tasks hand them over; returns the
// time of each video append.
std::vector<double> feed(qm::StreamRecorder& recorder, std::vector<qm::StreamPacket> video,
                         std::vector<qm::StreamPacket> audio) {
    std::vector<double> appendNanos;
    appendNanos.reserve(video.size());
    std::size_t next = 0;
    for (qm::StreamPacket& packet : video) {
        while (next < audio.size() && packet.ptsMicros &&
               audio[next].ptsMicros <= packet.ptsMicros) {
            recorder.appendAudio(std::move(audio[next++]));
        }
        const auto before = Clock::now();
        recorder.appendVideo(std::move(packet));
        appendNanos.push_back(
            std::chrono::duration<double, std::nano>(Clock::now() - before).count());
    }
    while (next < audio.size()) {
        recorder.appendAudio(std::move(audio[next++]));
    }
    return appendNanos;
}

struct Run {
    double seconds = 0;
    std::vector<double> appendNanos;
};

Run recordFlatOut(const std::filesystem::path& path) {
    const Media& clip = media();
    std::vector<qm::StreamPacket> video = clip.video, audio = clip.audio;  // copied before timing
    qm::StreamRecorderOptions options;
    options.maxBacklog = video.size() + audio.size();  // flat out: nothing may be refused
    qm::StreamRecorder recorder(path, clip.format, 2, {}, options);
    std::promise<bool> finished;
    const auto start = Clock::now();
    Run run{0, feed(recorder, std::move(video), std::move(audio))};
    recorder.finish([&](qm::StreamRecorder::FinishResult result) {
        finished.set_value(std::holds_alternative<std::filesystem::path>(result));
    });
    if (!finished.get_future().get()) {
        throw BenchFailure("the recording failed");
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return run;
}

double ffmpegFlatOut(const std::filesystem::path& pcm, const std::filesystem::path& out) {
    const std::string command =
        "ffmpeg -hide_banner -loglevel error -y -r 60 -f h264 -i '" + clipPath +
        "' -f s16le -ar 48000 -ac 2 -i '" + pcm.string() +
        "' -c:v copy -c:a aac -b:a 128k -movflags +empty_moov+default_base_moof "
        "-frag_duration 10000000 '" +
        out.string() + "'";
    const auto start = Clock::now();
    runCommand(command);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void compareWithFfmpeg(const qm::bench::TempFolder& folder) {
    const auto pcm = folder / "audio.pcm";
    {
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(pcm.c_str(), "wb"),
                                                                   std::fclose);
        for (const qm::StreamPacket& packet : media().audio) {
            std::fwrite(packet.data.data(), 1, packet.data.size(), file.get());
        }
    }
    std::vector<double> ours, theirs, appendNanos;
    const int rounds = qm::bench::rounds(5);
    for (int round = 0; round < rounds; ++round) {
        // The recorder never replaces a file: a name for each round.
        Run run = recordFlatOut(folder / ("ours-" + std::to_string(round) + ".mp4"));
        ours.push_back(run.seconds);
        appendNanos.insert(appendNanos.end(), run.appendNanos.begin(), run.appendNanos.end());
        theirs.push_back(ffmpegFlatOut(pcm, folder / "theirs.mp4"));
    }
    const double ourSeconds = percentile(ours, 0.5);
    const double ffmpegSeconds = percentile(theirs, 0.5);
    const double megabytes = static_cast<double>(media().bytes) / 1e6;
    std::printf("10 s of 1080p60 H.264 at 20 Mbit/s + 48 kHz stereo PCM, median of %d rounds\n",
                rounds);
    std::printf("  recorder:  %6.1fx real time, %6.1f MB/s (%5.1fx the stream's 2.5 MB/s)\n",
                mediaSeconds / ourSeconds, megabytes / ourSeconds,
                megabytes / ourSeconds / streamMegabytesPerSecond);
    std::printf("  ffmpeg:    %6.1fx real time (whole process)\n", mediaSeconds / ffmpegSeconds);
    std::printf("  ratio recorder / ffmpeg: %.2f\n", ffmpegSeconds / ourSeconds);
    std::printf("  appendVideo while writing: p50 %.0f ns, p99 %.0f ns\n",
                percentile(appendNanos, 0.5), percentile(appendNanos, 0.99));
}

// The recorder's one per-sample conversion, Annex B to length-prefixed.
void BM_SamplePayload(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (const qm::StreamPacket& packet : media().video) {
            benchmark::DoNotOptimize(
                qm::AnnexBSamples::lengthPrefixed(packet.data, qm::FormatDescription::avc1));
            bytes += packet.data.size();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_SamplePayload)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    av_log_set_level(AV_LOG_ERROR);
    qm::Log::recorder().set_level(spdlog::level::warn);
    return qm::bench::guarded([] {
        {
            const qm::bench::TempFolder folder("qm-bench-recorder");
            compareWithFfmpeg(folder);
        }
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        return 0;
    });
}
