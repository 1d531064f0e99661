#pragma once

#include <string>
#include <vector>

#include "QuillmereCore/ByteChannel.h"
#include "QuillmereCore/StreamTypes.h"
#include "VideoPipeline/DecodedFrame.h"

namespace qm::test {

// The bytes of a file in QM_FIXTURES_DIR; throws std::runtime_error when it cannot be read.
Bytes loadFixture(const std::string& name);
Bytes loadFile(const std::string& path);

// Cuts an Annex B elementary stream into the packets the device server sends: each access
// unit's parameter sets as a config packet, then the unit's other NAL units as a key frame
// (an IDR or IRAP picture) or a frame, timed at `fps` from zero.
std::vector<StreamPacket> accessUnitPackets(ByteView elementaryStream, VideoCodec codec, int fps);

// The first `count` pictures of a fixture, decoded by the software decoder.
std::vector<DecodedFrame> decodedFixtureFrames(const std::string& name, VideoCodec codec,
                                               std::size_t count);

// A picture of `format` (yuv420p or nv12) whose every sample of a plane is the given value.
DecodedFrame flatFrame(int width, int height, int format, std::uint8_t y, std::uint8_t cb,
                       std::uint8_t cr);

}  // namespace qm::test
