// Any bytes as a stream capture file: the header parser must refuse it with one of its errors
// or accept a well-formed header, and an accepted body is played for one pass on a virtual
// clock through the real decoder, which may report recovery steps but never crash or run
// away. The pass waits only for packets due within the next second, and lasts 100 ms at least.
#include <algorithm>
#include <cstdlib>

extern "C" {
#include <libavutil/log.h>
}

#include "FuzzCheck.h"
#include "QuillmereCore/BinaryError.h"
#include "QuillmereCore/Log.h"
#include "QuillmereKit/Demo/DemoClock.h"
#include "QuillmereKit/Demo/DemoSource.h"
#include "QuillmereKit/Demo/DemoStreamFormat.h"
#include "Support/VirtualClock.h"
#include "VideoPipeline/VideoDecoder.h"

using qm::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const qm::ByteView data(bytes, size);
    qm::DemoStreamFormat::ParsedStream parsed;
    try {
        parsed = qm::DemoStreamFormat::parse(data);
    } catch (const qm::DemoStreamFormat::FormatError&) {
        return 0;
    }
    check(size >= qm::DemoStreamFormat::headerSize);
    const qm::Bytes header = qm::DemoStreamFormat::header(parsed.header.codec);
    check(std::equal(header.begin(), header.end(), data.begin()));
    check(parsed.body.size() == size - qm::DemoStreamFormat::headerSize);

    static const bool quiet = [] {
        qm::Log::video().set_level(spdlog::level::off);
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)quiet;
    int frames = 0, failures = 0;
    qm::VideoDecoder decoder([&](qm::DecodedFrame) { ++frames; },
                             [&](qm::RecoveryAction) { ++failures; },
                             qm::makeSoftwareDecoderBackend({1}));
    const qm::DemoSource source(qm::Bytes(data.begin(), data.end()));
    check(source.codec() == parsed.header.codec);
    qm::test::VirtualClock clock;
    bool passed = false;
    try {
        source.play(1, nullptr, [&](const qm::StreamEvent& event) { decoder.handle(event); },
                    clock.taskClock(), {});
        passed = true;
    } catch (const qm::DemoError& error) {
        check(error.kind() == qm::DemoErrorKind::noTimedPackets);
    } catch (const qm::BinaryError&) {
        // A malformed packet header ends the play, as on replay.
    }
    for (const auto sleep : clock.sleeps()) {
        check(sleep.count() > 0 && std::uint64_t(sleep.count()) <= qm::DemoClock::maxGapNanos);
    }
    check(!passed ||
          clock.nowNanos() >=
              std::uint64_t(std::chrono::nanoseconds(qm::DemoSource::minimumPass).count()));
    return 0;
}
