#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "QuillmereCore/StreamTypes.h"
#include "ServerProtocol/ExtMessage.h"

// What the fake device server sends.
namespace qm::test {

// A video as the server cuts it: config packets and frames, timed at the clip's rate from 0.
struct FakeVideoClip {
    VideoSize size;
    int fps = 30;
    std::vector<StreamPacket> packets;

    // From an Annex B elementary stream.
    FakeVideoClip(ByteView elementaryStream, VideoCodec codec, VideoSize clipSize, int clipFps);

    // The first `count` packets alone.
    std::shared_ptr<const FakeVideoClip> head(std::size_t count) const;
};

// The 1280x720 30 fps fixture clip of the codec.
std::shared_ptr<const FakeVideoClip> fakeVideoClip(VideoCodec codec);
// The flash test's screen: parameter sets, then one key frame each of grey, green (#00ff00) and
// black, 320x180, which may follow each other in any order.
std::shared_ptr<const FakeVideoClip> fakeFlashColours();
// Packets of 20 ms of 48 kHz stereo 16-bit sine, timed from 0.
std::vector<StreamPacket> fakeAudioPackets(std::size_t count);
// The audio socket from its codec id on, with that many packets.
Bytes fakeAudioStream(std::size_t packets);
// Two apps, one a game, each with a PNG icon.
std::vector<AppInfo> fakeApps();

}  // namespace qm::test
