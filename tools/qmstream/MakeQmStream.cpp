// make_qmstream IN OUT FPS WIDTH HEIGHT
// Wraps a raw H.264 or HEVC elementary stream (no B-frames) into a stream capture file: the
// header, a session packet of WIDTH x HEIGHT, then each access unit as the device server frames
// it, timed at FPS.
#include <cstdio>
#include <fstream>
#include <string>

#include "QuillmereKit/Demo/DemoStreamFormat.h"
#include "Support/MediaFixtures.h"
#include "Support/MediaPackets.h"
#include "VideoPipeline/AnnexB.h"

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: make_qmstream IN OUT FPS WIDTH HEIGHT\n");
        return 2;
    }
    try {
        const qm::Bytes stream = qm::test::loadFile(argv[1]);
        const int fps = std::stoi(argv[3]);
        const qm::VideoSize size{std::stoi(argv[4]), std::stoi(argv[5])};
        const auto codec = qm::AnnexB::detectCodec(stream);
        if (!codec || fps <= 0) {
            std::fprintf(stderr, "make_qmstream: no parameter sets in %s, or a bad rate\n",
                         argv[1]);
            return 1;
        }
        qm::BinaryWriter writer;
        writer.bytes(qm::DemoStreamFormat::header(*codec));
        qm::test::writeSession(writer, qm::StreamSession{size, false});
        for (const qm::StreamPacket& packet : qm::test::accessUnitPackets(stream, *codec, fps)) {
            qm::test::writePacket(writer, packet);
        }
        const qm::Bytes out = writer.take();
        std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
        if (!file.flush()) {
            std::fprintf(stderr, "make_qmstream: cannot write %s\n", argv[2]);
            return 1;
        }
        std::printf("%s: %zu bytes\n", argv[2], out.size());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_qmstream: %s\n", error.what());
        return 1;
    }
}
