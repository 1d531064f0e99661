#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "QuillmereCore/DataByteSource.h"
#include "QuillmereCore/MemoryByteChannel.h"
#include "QuillmereKit/Demo/DemoStreamFormat.h"
#include "QuillmereKit/Video/RawStreamTap.h"
#include "Support/LogSince.h"
#include "Support/MediaFixtures.h"
#include "Support/MediaPackets.h"
#include "Support/Waiting.h"
#include "VideoPipeline/VideoDecoder.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using DemoStreamFormat::FormatErrorKind;

const Bytes h264Header = {'Q', 'M', 'S', 'T', 0, 0, 0, 1, 0x68, 0x32, 0x36, 0x34};

FormatErrorKind parseFailure(const Bytes& data) {
    try {
        DemoStreamFormat::parse(data);
    } catch (const DemoStreamFormat::FormatError& error) {
        return error.kind();
    }
    throw std::runtime_error("parsed");
}

TEST(DemoStreamFormat, HeaderIsMagicVersionAndCodec) {
    EXPECT_EQ(DemoStreamFormat::header(VideoCodec::h264), h264Header);
    const auto parsed = DemoStreamFormat::parse(h264Header);
    EXPECT_EQ(parsed.header, (DemoStreamFormat::Header{1, VideoCodec::h264}));
    EXPECT_TRUE(parsed.body.empty());

    Bytes withBody = DemoStreamFormat::header(VideoCodec::h265);
    withBody.insert(withBody.end(), {7, 8});
    const auto hevc = DemoStreamFormat::parse(withBody);
    EXPECT_EQ(hevc.header.codec, VideoCodec::h265);
    EXPECT_EQ(Bytes(hevc.body.begin(), hevc.body.end()), (Bytes{7, 8}));
}

TEST(DemoStreamFormat, EachMalformedHeaderHasItsOwnError) {
    EXPECT_EQ(parseFailure(Bytes(h264Header.begin(), h264Header.end() - 1)),
              FormatErrorKind::truncated);
    Bytes bad = h264Header;
    bad[0] = 'X';
    EXPECT_EQ(parseFailure(bad), FormatErrorKind::badMagic);
    bad = h264Header;
    bad[7] = 2;
    EXPECT_EQ(parseFailure(bad), FormatErrorKind::unsupportedVersion);
    bad = h264Header;
    std::copy_n("av01", 4, bad.begin() + 8);
    try {
        DemoStreamFormat::parse(bad);
        FAIL();
    } catch (const DemoStreamFormat::FormatError& error) {
        EXPECT_EQ(error.message(), "unknownCodec(1635135537)");
    }
    EXPECT_EQ(DemoStreamFormat::FormatError::badMagic().message(), "badMagic");
}

class RawStreamTapTest : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() /
                   ("qm-tap-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void TearDown() override { fs::remove_all(dir); }

    static Bytes fileBytes(const fs::path& path) { return test::loadFile(path.string()); }
};

TEST_F(RawStreamTapTest, CopiesWhatTheReaderReadsAfterTheHeader) {
    const fs::path path = dir / "a" / "b" / "capture.qmstream";
    auto source = std::make_shared<DataByteSource>(Bytes{1, 2, 3, 4, 5});
    RawStreamTap tap(source, path, VideoCodec::h264);
    EXPECT_EQ(tap.readExactly(2), (Bytes{1, 2}));
    EXPECT_EQ(tap.readExactly(3), (Bytes{3, 4, 5}));
    EXPECT_THROW(tap.readExactly(1), ByteIOError);
    EXPECT_EQ(tap.bytesWritten(), 5u);
    Bytes expected = h264Header;
    expected.insert(expected.end(), {1, 2, 3, 4, 5});
    EXPECT_EQ(fileBytes(path), expected);

    tap.close();
    tap.close();
}

TEST_F(RawStreamTapTest, ReadsAfterCloseStillFlowButWriteNothing) {
    auto source = std::make_shared<MemoryByteChannel>();
    source->feed(Bytes{9, 8, 7});
    RawStreamTap tap(source, dir / "c.qmstream", VideoCodec::h265);
    tap.close();
    EXPECT_EQ(tap.readExactly(3), (Bytes{9, 8, 7}));
    EXPECT_EQ(tap.bytesWritten(), 0u);
    EXPECT_EQ(fileBytes(dir / "c.qmstream").size(), DemoStreamFormat::headerSize);
}

TEST_F(RawStreamTapTest, CloseNeverWaitsForAWriteUnderWay) {
    fs::create_directories(dir);
    const fs::path path = dir / "slow.qmstream";
    auto source = std::make_shared<DataByteSource>(Bytes(std::size_t(4) << 20, 7));
    RawStreamTap tap(source, path, VideoCodec::h264);
    // A FIFO nobody reads yet stands for a slow disk: it takes the place of the tap's file, and
    // the copy of a large read fills it and waits.
    const fs::path pipe = dir / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int disk = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(disk, 0);
    const int slow = ::open(pipe.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(slow, 0);
    int tapFile = -1;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error) == path) {
            tapFile = std::stoi(entry.path().filename().string());
        }
    }
    ASSERT_GE(tapFile, 0);
    ASSERT_EQ(::dup3(slow, tapFile, O_CLOEXEC), tapFile);
    ::close(slow);
    const long full = ::fcntl(disk, F_GETPIPE_SZ) - ::sysconf(_SC_PAGESIZE);
    auto reader =
        std::async(std::launch::async, [&] { return tap.readExactly(std::size_t(2) << 20); });
    EXPECT_TRUE(test::eventually(
        [&] {
            int queued = 0;
            return ::ioctl(disk, FIONREAD, &queued) == 0 && queued > full;
        },
        std::chrono::seconds(60)));

    auto closing = std::async(std::launch::async, [&] { tap.close(); });
    EXPECT_EQ(closing.wait_for(std::chrono::seconds(30)), std::future_status::ready)
        << "close() waited for the write";
    Bytes drained(std::size_t(1) << 20);
    while (reader.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        if (::read(disk, drained.data(), drained.size()) <= 0) {
            std::this_thread::yield();
        }
    }
    EXPECT_EQ(reader.get().size(), std::size_t(2) << 20);
    EXPECT_EQ(tap.bytesWritten(), std::size_t(2) << 20);
    tap.readExactly(100);
    EXPECT_EQ(tap.bytesWritten(), std::size_t(2) << 20);
    ::close(disk);
}

TEST_F(RawStreamTapTest, ATakenNameOrALinkMovesOnToTheNextNumber) {
    fs::create_directories(dir);
    const fs::path old = dir / "old.qmstream";
    std::ofstream(old) << "x";
    std::ofstream(dir / "old-1.qmstream") << "y";
    fs::create_symlink(old, dir / "link.qmstream");
    for (const auto& [name, made] : {std::pair("old.qmstream", "old-2.qmstream"),
                                     std::pair("link.qmstream", "link-1.qmstream")}) {
        const RawStreamTap tap(std::make_shared<DataByteSource>(Bytes{}), dir / name,
                               VideoCodec::h264);
        EXPECT_EQ(tap.path(), dir / made);
        EXPECT_EQ(fileBytes(dir / made), h264Header);
    }
    EXPECT_EQ(fileBytes(old), toBytes("x"));
    EXPECT_EQ(fileBytes(dir / "old-1.qmstream"), toBytes("y"));
}

// Said by name: the user reads it, and the whole path is private.
TEST_F(RawStreamTapTest, AnUncreatableCaptureThrowsByNameAndNoNumberGoesPastTheLast) {
    const auto failure = [](const fs::path& path) -> std::string {
        try {
            const RawStreamTap tap(std::make_shared<DataByteSource>(Bytes{}), path,
                                   VideoCodec::h264);
            return "made " + tap.path().filename().string();
        } catch (const std::system_error& error) {
            return error.what();
        }
    };
    fs::create_directories(dir);
    std::ofstream(dir / "file") << "x";
    EXPECT_EQ(failure(dir / "file" / "x"), "cannot create the folder file: File exists");
    for (int number = 0; number <= RawStreamTap::maxNumber; ++number) {
        std::ofstream(RawStreamTap::numbered(dir / "full.qmstream", number)) << "taken";
    }
    EXPECT_EQ(failure(dir / "full.qmstream"), "cannot create full-999.qmstream: File exists");
}

TEST_F(RawStreamTapTest, AFailedWriteStopsTheCopyButNotTheStream) {
    // The kernel refuses writes past a file size limit, as a full disk would.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = ::signal(SIGXFSZ, SIG_IGN);

    Bytes stream(4000);
    for (std::size_t i = 0; i < stream.size(); ++i) {
        stream[i] = static_cast<std::uint8_t>(i);
    }
    auto source = std::make_shared<DataByteSource>(stream);
    RawStreamTap tap(source, dir / "full.qmstream", VideoCodec::h264);
    struct rlimit limited = saved;
    limited.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const test::LogSince log;
    Bytes read;
    for (int i = 0; i < 40; ++i) {
        const Bytes chunk = tap.readExactly(100);
        read.insert(read.end(), chunk.begin(), chunk.end());
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);

    EXPECT_EQ(read, stream);
    EXPECT_LE(tap.bytesWritten(), 1024u - DemoStreamFormat::headerSize);
    EXPECT_GT(tap.bytesWritten(), 0u);
    EXPECT_EQ(log.count("raw stream tap stopped: "), 1u);
}

TEST(DemoStream, TheBundledDemoDecodesWhole) {
    const Bytes file = test::loadFile(QM_DEMO_STREAM);
    EXPECT_LE(file.size(), 3u * 1024 * 1024);
    const auto parsed = DemoStreamFormat::parse(file);
    EXPECT_EQ(parsed.header.codec, VideoCodec::h264);

    DataByteSource body(Bytes(parsed.body.begin(), parsed.body.end()));
    int frames = 0, timed = 0, failures = 0;
    std::int64_t lastPts = -1;
    VideoDecoder decoder(
        [&](DecodedFrame frame) {
            ++frames;
            EXPECT_EQ(frame.pixelBuffer.width(), 1280);
            EXPECT_EQ(frame.pixelBuffer.height(), 720);
            EXPECT_GT(frame.ptsMicros, lastPts);
            lastPts = frame.ptsMicros;
        },
        [&](RecoveryAction) { ++failures; });
    while (auto event = test::nextEventOrEnd(body)) {
        if (const auto* packet = std::get_if<StreamPacket>(&*event)) {
            timed += packet->ptsMicros.has_value();
        }
        decoder.handle(*event);
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(frames, timed);
    EXPECT_GE(frames, 6 * 60);
    EXPECT_NEAR(static_cast<double>(lastPts), (frames - 1) * 1e6 / 60, 1000);
}

}  // namespace
}  // namespace qm
