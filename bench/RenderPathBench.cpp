// Per-frame drawing of a decoded 1080p picture with the software OpenGL here: straight into a
// 1080p target, and into 2560x1440 both directly (bicubic) and through upscaling and
// sharpening. Each frame is timed until the GPU has finished it; p50 and p90 per frame are
// reported as counters, in milliseconds.
#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "Support/MediaFixtures.h"
#include "VideoPipeline/View/VideoRenderer.h"

namespace {

using Clock = std::chrono::steady_clock;

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
    std::sort(millis.begin(), millis.end());
    if (!millis.empty()) {
        state.counters["p50_ms"] = millis[millis.size() / 2];
        state.counters["p90_ms"] = millis[millis.size() * 9 / 10];
    }
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

BENCHMARK(BM_Render1080pTo1080p)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render1080pTo1440pBicubic)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render1080pTo1440pUpscaled)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
