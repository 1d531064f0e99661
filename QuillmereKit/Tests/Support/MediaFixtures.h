#pragma once

#include <string>
#include <vector>

#include "QuillmereCore/ByteChannel.h"
#include "QuillmereCore/StreamTypes.h"

namespace qm::test {

// The bytes of a file in QM_FIXTURES_DIR; throws std::runtime_error when it cannot be read.
Bytes loadFixture(const std::string& name);
Bytes loadFile(const std::string& path);

// Cuts an Annex B elementary stream into the packets the device server sends: each access
// unit's parameter sets as a config packet, then the unit's other NAL units as a key frame
// (an IDR or IRAP picture) or a frame, timed at `fps` from zero.
std::vector<StreamPacket> accessUnitPackets(ByteView elementaryStream, VideoCodec codec, int fps);

}  // namespace qm::test
