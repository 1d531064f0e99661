// Any bytes as a stream capture file: the header parser must refuse it with one of its errors
// or accept a well-formed header, and an accepted body is played through the real decoder,
// which may report recovery steps but never crash or run away.
#include <algorithm>
#include <cstdlib>

extern "C" {
#include <libavutil/log.h>
}

#include "FuzzCheck.h"
#include "QuillmereCore/DataByteSource.h"
#include "QuillmereCore/Log.h"
#include "QuillmereKit/DemoStreamFormat.h"
#include "Support/MediaFixtures.h"
#include "Support/MediaPackets.h"
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
    qm::DataByteSource body(qm::Bytes(parsed.body.begin(), parsed.body.end()));
    try {
        while (auto event = qm::test::nextEventOrEnd(body)) {
            decoder.handle(*event);
        }
    } catch (const std::runtime_error&) {
        // A malformed header or a cut packet ends the body, as on replay.
    }
    return 0;
}
