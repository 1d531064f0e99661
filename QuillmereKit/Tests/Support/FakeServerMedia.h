#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "QuillmereCore/StreamTypes.h"
#include "ServerProtocol/ExtMessage.h"

// What the fake device server sends.
namespace qm::test {

// The video socket after its codec id: a 1280x720 session packet, then the fixture clip of the
// codec cut into packets as the server cuts them.
const Bytes& fakeVideoStream(VideoCodec codec);
// The same clip timed so that its last frame is at `lastPtsMicros`.
Bytes fakeVideoStreamEndingAt(VideoCodec codec, std::int64_t lastPtsMicros);
// The audio socket from its codec id on: packets of 20 ms of 48 kHz stereo 16-bit sine.
Bytes fakeAudioStream(std::size_t packets);
// Two apps, one a game, each with a PNG icon.
std::vector<AppInfo> fakeApps();

}  // namespace qm::test
