// Any bytes as an Annex B buffer: the decoder's and the recorder's splitters must cut it into
// units that lie inside the input, and every parser of parameter sets must refuse it cleanly.
#include <algorithm>
#include <cstdlib>

#include "FuzzCheck.h"
#include "Recorder/AnnexBSamples.h"
#include "Recorder/VideoFormat.h"
#include "VideoPipeline/AnnexB.h"
#include "VideoPipeline/FormatDescription.h"
#include "VideoPipeline/ParameterSetSyntax.h"
#include "VideoPipeline/VideoPipelineError.h"

namespace {

using qm::fuzz::check;

bool inside(qm::ByteView unit, qm::ByteView data) {
    return unit.data() >= data.data() && unit.data() + unit.size() <= data.data() + data.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const qm::ByteView data(bytes, size);

    const auto units = qm::AnnexB::nalUnits(data);
    std::size_t total = 0;
    const std::uint8_t* previousEnd = data.data();
    for (qm::ByteView unit : units) {
        check(!unit.empty() && unit.back() != 0 && inside(unit, data));
        check(unit.data() >= previousEnd + 3);
        previousEnd = unit.data() + unit.size();
        total += 4 + unit.size();
    }
    const qm::Bytes prefixed = qm::AnnexB::toLengthPrefixed(data);
    check(prefixed.size() == total);

    for (qm::VideoCodec codec : {qm::VideoCodec::h264, qm::VideoCodec::h265}) {
        try {
            const qm::ParameterSets sets = qm::AnnexB::parameterSets(codec, data);
            const qm::FormatDescription format = qm::FormatDescriptionFactory::make(codec, sets);
            check(format.configurationRecord.size() > format.parameterSets.size() * 3);
        } catch (const qm::VideoPipelineError&) {
        }
    }
    for (qm::ByteView unit : units) {
        (void)qm::parseAvcSequence(unit);
        (void)qm::parseHevcSequence(unit);
    }

    for (std::uint32_t key : {qm::FormatDescription::avc1, qm::FormatDescription::hvc1}) {
        for (qm::ByteView unit : qm::AnnexBSamples::nalUnits(data)) {
            check(!unit.empty() && inside(unit, data));
        }
        check(qm::AnnexBSamples::lengthPrefixed(data, key).size() <= size + size / 2 + 4);
        if (const auto sets = qm::VideoFormat::parameterSets(data, key)) {
            if (const auto format = qm::VideoFormat::make(key, *sets)) {
                check(qm::VideoFormat::parameterSets(*format) == sets);
            }
        }
    }
    return 0;
}
