#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>

#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "QuillmereCore/BinaryReader.h"
#include "QuillmereCore/DataByteSource.h"
#include "QuillmereCore/Log.h"
#include "Recorder/StreamRecorder.h"
#include "Support/CommandOutput.h"
#include "Support/FakeServerMedia.h"
#include "Support/ManualExecutor.h"
#include "Support/MediaFixtures.h"
#include "Support/MediaPackets.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using Event = StreamRecorder::Event;
using Result = StreamRecorder::FinishResult;

struct Clip {
    FormatDescription format;
    std::vector<StreamPacket> packets;
};

// The fixture's second of video, repeated with shifted times.
Clip clip(const char* name, VideoCodec codec, int seconds) {
    const auto once = test::accessUnitPackets(test::loadFixture(name), codec, 30);
    Clip clip{FormatDescriptionFactory::make(codec, AnnexB::parameterSets(codec, once[0].data)),
              {}};
    for (int second = 0; second < seconds; ++second) {
        for (StreamPacket packet : once) {
            if (packet.ptsMicros) {
                *packet.ptsMicros += second * 1'000'000;
            }
            clip.packets.push_back(std::move(packet));
        }
    }
    return clip;
}

std::vector<StreamPacket> frames(const Clip& clip) {
    std::vector<StreamPacket> frames;
    for (const StreamPacket& packet : clip.packets) {
        if (packet.kind != StreamPacket::Kind::config) {
            frames.push_back(packet);
        }
    }
    return frames;
}

// Packets of 20 ms of 48 kHz stereo sine, as the fake device server sends them.
std::vector<StreamPacket> sine(std::size_t count) {
    DataByteSource source(test::fakeAudioStream(count));
    source.readExactly(4);  // the codec id
    std::vector<StreamPacket> packets;
    while (auto event = test::nextEventOrEnd(source)) {
        packets.push_back(std::get<StreamPacket>(*event));
    }
    return packets;
}

// In time order, as the video reader and the audio task would hand them over.
void feed(StreamRecorder& recorder, const std::vector<StreamPacket>& video,
          const std::vector<StreamPacket>& audio) {
    std::size_t next = 0;
    for (const StreamPacket& packet : video) {
        while (next < audio.size() && packet.ptsMicros &&
               audio[next].ptsMicros <= packet.ptsMicros) {
            recorder.appendAudio(audio[next++]);
        }
        recorder.appendVideo(packet);
    }
    while (next < audio.size()) {
        recorder.appendAudio(audio[next++]);
    }
}

// "pts_time,flags" of each video packet.
std::vector<std::string> videoPackets(const std::filesystem::path& file) {
    std::vector<std::string> lines;
    std::istringstream output(
        test::commandOutput("ffprobe -v error -select_streams v -show_entries "
                            "packet=pts_time,flags -of csv=p=0 '" +
                            file.string() + "'"));
    for (std::string line; std::getline(output, line);) {
        lines.push_back(line);
    }
    return lines;
}

// "pts_time" of each audio packet, in seconds.
std::vector<double> audioTimes(const std::filesystem::path& file) {
    std::vector<double> times;
    std::istringstream output(
        test::commandOutput("ffprobe -v error -select_streams a -show_entries packet=pts_time "
                            "-of csv=p=0 '" +
                            file.string() + "'"));
    for (std::string line; std::getline(output, line);) {
        times.push_back(std::stod(line));
    }
    return times;
}

std::string decodeErrors(const std::filesystem::path& file) {
    return test::commandOutput("ffmpeg -v error -i '" + file.string() + "' -f null -");
}

struct Box {
    std::string type;
    Bytes body;
};

std::vector<Box> boxes(ByteView data) {
    BinaryReader reader(data);
    std::vector<Box> found;
    while (reader.remaining() >= 8) {
        std::uint64_t size = reader.u32();
        const Bytes type = reader.bytes(4);
        std::uint64_t header = 8;
        if (size == 1) {
            size = reader.u64();
            header = 16;
        }
        if (size < header || size - header > reader.remaining()) {
            break;
        }
        found.push_back({std::string(type.begin(), type.end()),
                         reader.bytes(static_cast<std::int64_t>(size - header))});
    }
    return found;
}

std::string types(const std::vector<Box>& found) {
    std::string joined;
    for (const Box& box : found) {
        joined += (joined.empty() ? "" : " ") + box.type;
    }
    return joined;
}

class StreamRecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir_);
        std::signal(SIGPIPE, SIG_IGN);  // a closed pipe must fail a write, not end the test
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path file(const std::string& name = "rec.mp4") const { return dir_ / name; }

    // Writing on the test's queue, its events noted, with 1 s fragments.
    std::unique_ptr<StreamRecorder> recorder(const FormatDescription& format,
                                             std::optional<int> audioChannels) {
        return std::make_unique<StreamRecorder>(
            file(), format, audioChannels, [this](Event event) { events.push_back(event); },
            StreamRecorderOptions{.fragmentInterval = 1s, .queue = queue});
    }

    Result finish(StreamRecorder& recorder) {
        std::optional<Result> result;
        recorder.finish([&](Result finished) { result = std::move(finished); });
        queue->drain();
        return result.value();
    }

    // The recorder's log lines of this test.
    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        for (const LogEntry& entry : Log::recentEntries()) {
            if (entry.category == "recorder" && entry.time >= start_) {
                lines.push_back(entry.message);
            }
        }
        return lines;
    }

    std::shared_ptr<test::ManualExecutor> queue = std::make_shared<test::ManualExecutor>();
    std::vector<Event> events;

private:
    const std::filesystem::path dir_ =
        std::filesystem::temp_directory_path() /
        ("qm-recorder-" + std::to_string(getpid()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    const std::chrono::system_clock::time_point start_ = std::chrono::system_clock::now();
};

TEST_F(StreamRecorderTest, RecordsFragmentedFilesThatPlay) {
    struct Case {
        const char* fixture;
        VideoCodec codec;
        std::string codecName, tag;
    };
    for (const Case& c : {Case{"h264-720p.h264", VideoCodec::h264, "h264", "avc1"},
                          Case{"hevc-720p.h265", VideoCodec::h265, "hevc", "hvc1"}}) {
        SCOPED_TRACE(c.codecName);
        const Clip video = clip(c.fixture, c.codec, 3);
        const auto path = file(c.codecName + ".mp4");
        {
            // Written on the recorder's own thread.
            StreamRecorder recorder(path, video.format, 2, {},
                                    {.fragmentInterval = 1s, .queue = nullptr});
            // Audio stops a little before the video: the encoder's last packet would reach into
            // a fourth fragment.
            feed(recorder, video.packets, sine(145));
            std::promise<Result> result;
            int writerNice = 0;
            recorder.finish([&](Result finished) {
                writerNice = ::getpriority(PRIO_PROCESS, id_t(::gettid()));
                result.set_value(std::move(finished));
            });
            ASSERT_EQ(result.get_future().get(), Result(path));
            // As urgent as the stream it writes: a lowered writer starved on a busy machine,
            // and a quit's bound passed before the file was finished.
            EXPECT_EQ(writerNice, ::getpriority(PRIO_PROCESS, id_t(::gettid())));
        }

        const nlohmann::json tracks = test::probedStreams(path);
        ASSERT_EQ(tracks.size(), 2u);
        EXPECT_EQ(tracks[0]["codec_name"], c.codecName);
        EXPECT_EQ(tracks[0]["codec_tag_string"], c.tag);
        EXPECT_EQ(tracks[0]["width"], 1280);
        EXPECT_EQ(tracks[0]["height"], 720);
        EXPECT_EQ(tracks[1]["codec_name"], "aac");
        EXPECT_EQ(tracks[1]["sample_rate"], "48000");
        EXPECT_EQ(tracks[1]["channels"], 2);

        const auto packets = videoPackets(path);
        ASSERT_EQ(packets.size(), 90u);
        EXPECT_EQ(packets.front(), "0.000000,K_");
        EXPECT_EQ(packets.back(), "2.966666,__");
        EXPECT_EQ(decodeErrors(path), "");

        const std::vector<Box> top = boxes(test::loadFile(path));
        // A fragment a second, and one more where the finish found the writing.
        EXPECT_THAT(types(top), ::testing::MatchesRegex("ftyp moov (moof mdat ){3,4}mfra"));
        EXPECT_THAT(types(boxes(top[1].body)), ::testing::HasSubstr("mvex"));
        for (const Box& moof : top) {
            for (const Box& traf : boxes(moof.type == "moof" ? moof.body : Bytes{})) {
                if (traf.type == "traf") {
                    const Bytes tfhd = boxes(traf.body).at(0).body;
                    EXPECT_TRUE(tfhd.at(1) & 0x02) << "default-base-is-moof";
                }
            }
        }
    }
}

// 20 ms packets of 48 kHz stereo from 0 ms: a 1 kHz tone at full strength from its first sample
// while `loud` says so, silence otherwise.
std::vector<StreamPacket> toneBursts(int packets, const std::function<bool(int ms)>& loud) {
    std::vector<StreamPacket> audio;
    for (int index = 0; index < packets; ++index) {
        Bytes pcm;
        for (int frame = 0; frame < 960; ++frame) {
            const int at = index * 960 + frame;
            const auto sample = static_cast<std::int16_t>(
                loud(at / 48) ? std::lround(16000 * std::cos(2 * M_PI * at / 48.0)) : 0);
            for (int channel = 0; channel < 2; ++channel) {
                pcm.push_back(static_cast<std::uint8_t>(sample & 0xFF));
                pcm.push_back(static_cast<std::uint8_t>((sample >> 8) & 0xFF));
            }
        }
        audio.push_back({StreamPacket::Kind::frame, index * 20'000, std::move(pcm)});
    }
    return audio;
}

// The sound decoded on the file's own times, from the key frame's, in mono.
std::vector<std::int16_t> soundFromTheStart(const std::filesystem::path& file) {
    const std::string pcm = test::commandOutput("ffmpeg -v error -copyts -i '" + file.string() +
                                                "' -map 0:a -af atrim=start=0 -ac 1 -f s16le -");
    std::vector<std::int16_t> samples(pcm.size() / 2);
    std::memcpy(samples.data(), pcm.data(), samples.size() * 2);
    return samples;
}

bool isLoud(std::int16_t sample) {
    return std::abs(sample) > 4000;
}

TEST_F(StreamRecorderTest, TheSoundPlaysWithThePictureItWasStampedBeside) {
    const Clip video = clip("h264-720p.h264", VideoCodec::h264, 1);
    auto recording = recorder(video.format, 2);
    // The key frame at 0 first: sound before it has no place yet.
    recording->appendVideo(video.packets[0]);
    recording->appendVideo(video.packets[1]);
    feed(*recording, {video.packets.begin() + 2, video.packets.end()},
         toneBursts(40, [](int ms) { return ms < 100 || ms >= 300; }));
    ASSERT_EQ(finish(*recording), Result(file()));

    // The tone, its pause and its return each where they were stamped, none of the encoder's
    // priming ahead of them.
    const std::vector<std::int16_t> samples = soundFromTheStart(file());
    const auto quiet = [](std::int16_t sample) { return std::abs(sample) < 400; };
    const auto start = std::find_if(samples.begin(), samples.end(), isLoud);
    ASSERT_NE(start, samples.end());
    EXPECT_LE(start - samples.begin(), 48);
    const auto pause = std::find_if(samples.begin() + 6000, samples.end(), quiet);
    const auto again = std::find_if(pause, samples.end(), isLoud);
    ASSERT_NE(again, samples.end());
    EXPECT_NEAR(again - samples.begin(), 300 * 48, 48);
}

// Sound whose stamps a new server's clock, or a picture held back, puts far from the picture's
// starts where it arrived beside the picture; stamps that agree with the arrival are kept.
TEST_F(StreamRecorderTest, TheSoundStartsWhereItArrivedWhenItsStampsSayOtherwise) {
    const Clip video = clip("h264-720p.h264", VideoCodec::h264, 2);
    const struct {
        std::int64_t stampedMicros;  // the sound's stamps against the picture's
        double startsAt;
    } cases[] = {{40'000'000, 0}, {-40'000'000, 0}, {60'000, 0.06}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stampedMicros);
        std::uint64_t arrival = 0;
        StreamRecorder recording(file(), video.format, 2, {},
                                 {.queue = queue, .arrivalClock = [&] { return arrival; }});
        std::vector<StreamPacket> sound = toneBursts(100, [](int) { return true; });
        for (StreamPacket& packet : sound) {
            *packet.ptsMicros += c.stampedMicros;
        }
        // Each picture arrives at its time, and the sound of the same moment with it.
        std::size_t next = 0;
        for (const StreamPacket& packet : video.packets) {
            arrival = static_cast<std::uint64_t>(packet.ptsMicros.value_or(0)) * 1000;
            recording.appendVideo(packet);
            while (packet.ptsMicros && next < sound.size() &&
                   *sound[next].ptsMicros - c.stampedMicros <= *packet.ptsMicros) {
                recording.appendAudio(sound[next++]);
            }
        }
        ASSERT_EQ(finish(recording), Result(file()));
        // The track starts with the picture, the sound in it where it was placed.
        const std::optional<test::TrackSpan> span = test::trackSpan(file(), 'a');
        ASSERT_TRUE(span);
        EXPECT_NEAR(span->start, -1024.0 / 48000, 0.001);
        const std::vector<std::int16_t> samples = soundFromTheStart(file());
        EXPECT_NEAR(std::find_if(samples.begin(), samples.end(), isLoud) - samples.begin(),
                    c.startsAt * 48000, 48);
        std::filesystem::remove(file());
    }
}

TEST_F(StreamRecorderTest, ACopyTakenWhileRecordingDecodesItsCompleteFragments) {
    const Clip video = clip("h264-720p.h264", VideoCodec::h264, 3);
    std::vector<StreamPacket> head;
    for (const StreamPacket& packet : video.packets) {
        if (packet.ptsMicros.value_or(0) < 2'500'000) {
            head.push_back(packet);
        }
    }
    auto recording = recorder(video.format, 2);
    feed(*recording, head, sine(125));
    queue->drain();

    const auto copy = file("copy.mp4");
    std::filesystem::copy_file(file(), copy);
    EXPECT_EQ(test::commandOutput("ffprobe -v error -count_frames -select_streams v -show_entries "
                                  "stream=nb_read_frames -of csv=p=0 '" +
                                  copy.string() + "'"),
              "60\n");
    EXPECT_EQ(decodeErrors(copy), "");
}

// A quit may end the process while its finish still waits behind the packets queued before it:
// the file plays up to what was written when the finish was asked for.
TEST_F(StreamRecorderTest, WhatWasWrittenWhenAFinishIsAskedIsOnTheDiskBeforeMore) {
    const Clip video = clip("h264-720p.h264", VideoCodec::h264, 4);
    const auto third = std::find_if(video.packets.begin(), video.packets.end(),
                                    [](const auto& p) { return p.ptsMicros >= 3'000'000; });
    StreamRecorder recording(file(), video.format, 2, {}, {.queue = queue});
    feed(recording, {video.packets.begin(), third}, sine(150));
    queue->drain();
    feed(recording, {third, video.packets.end()}, {});
    std::optional<Result> finished;
    recording.finish([&](Result result) { finished = std::move(result); });
    queue->runOne();

    const auto cut = file("cut.mp4");
    std::filesystem::copy_file(file(), cut);
    EXPECT_EQ(videoPackets(cut).size(), 90u);
    const std::vector<double> sound = audioTimes(cut);
    ASSERT_FALSE(sound.empty());
    EXPECT_GE(sound.back(), 2.9);
    EXPECT_EQ(decodeErrors(cut), "");
    queue->drain();
    EXPECT_EQ(finished, Result(file()));
    EXPECT_EQ(videoPackets(file()).size(), 120u);

    // Asked before the encoder's first packet: the fragment waits for it, whose moov puts the
    // sound at its time.
    const auto early = file("early.mp4");
    StreamRecorder soon(early, video.format, 2, {}, {.queue = queue});
    for (std::size_t packet = 0; packet < 5; ++packet) {
        soon.appendVideo(video.packets[packet]);
    }
    for (const StreamPacket& packet : toneBursts(4, [](int) { return true; })) {
        soon.appendAudio(packet);
    }
    soon.finish([](const Result&) {});
    for (std::size_t left = queue->pending(); left > 1; --left) {
        queue->runOne();
    }
    const auto soonCut = file("soon-cut.mp4");
    std::filesystem::copy_file(early, soonCut);
    EXPECT_EQ(videoPackets(soonCut).size(), 4u);
    queue->drain();
    const std::vector<std::int16_t> samples = soundFromTheStart(early);
    EXPECT_LE(std::find_if(samples.begin(), samples.end(), isLoud) - samples.begin(), 48);
}

TEST_F(StreamRecorderTest, AFileRemovedWhileRecordingIsWrittenAgainOrSaidToBeLost) {
    const Clip video = clip("h264-720p.h264", VideoCodec::h264, 2);
    const std::filesystem::path folder = file("Recordings");
    const std::filesystem::path path = folder / "rec.mp4";
    enum class Then { folderMadeAgain, folderBlocked, nameTaken };
    for (const Then then : {Then::folderMadeAgain, Then::folderBlocked, Then::nameTaken}) {
        SCOPED_TRACE(int(then));
        std::filesystem::create_directories(folder);
        StreamRecorder recording(path, video.format, 2, {},
                                 {.fragmentInterval = 1s, .queue = queue});
        feed(recording, video.packets, sine(100));
        queue->drain();
        // Tidied away as the recording goes on.
        std::filesystem::remove_all(folder);
        if (then == Then::folderBlocked) {
            std::ofstream(folder) << "x";
        } else if (then == Then::nameTaken) {
            // Another file on the same disk, which is not the recording.
            std::filesystem::create_directories(folder);
            std::ofstream(path) << "x";
        }
        const Result result = finish(recording);
        if (then == Then::folderMadeAgain) {
            ASSERT_EQ(result, Result(path));
            EXPECT_EQ(videoPackets(path).size(), 60u);
            EXPECT_EQ(decodeErrors(path), "");
            EXPECT_THAT(logLines(), ::testing::Contains("recording's file was removed while "
                                                        "recording: written again"));
        } else {
            ASSERT_TRUE(std::holds_alternative<RecorderError>(result));
            const RecorderError& error = std::get<RecorderError>(result);
            EXPECT_EQ(error.kind(), RecorderErrorKind::fileRemoved);
            EXPECT_THAT(error.message(), ::testing::HasSubstr("could not be written again"));
            EXPECT_EQ(std::filesystem::file_size(then == Then::nameTaken ? path : folder), 1u);
        }
        std::filesystem::remove_all(folder);
    }
}

TEST_F(StreamRecorderTest, WithoutAKeyFrameTheFileIsDeleted) {
    const Clip video = clip("h264-720p.h264", VideoCodec::h264, 1);
    auto recording = recorder(video.format, 2);
    feed(*recording, {video.packets[2]}, sine(1));
    EXPECT_EQ(finish(*recording), Result(RecorderError::noVideo()));
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_EQ(finish(*recording), Result(RecorderError::writeFailed("finish() called twice")));
}

TEST_F(StreamRecorderTest, CannotStartWithoutAFileOrAPictureSize) {
    const Clip video = clip("h264-720p.h264", VideoCodec::h264, 1);
    FormatDescription cutSps = video.format;
    cutSps.parameterSets[0].resize(6);
    auto failure = [](const std::filesystem::path& path, const FormatDescription& format) {
        try {
            StreamRecorder recorder(path, format, 2);
        } catch (const RecorderError& error) {
            return error.message();
        }
        return std::string("started");
    };
    EXPECT_EQ(failure(file("missing/rec.mp4"), video.format),
              "cannotStart(\"cannot create the file: No such file or directory\")");
    // A link planted where the file goes is not followed.
    std::ofstream(file("target")) << "x";
    std::filesystem::create_symlink(file("target"), file("link.mp4"));
    EXPECT_EQ(failure(file("link.mp4"), video.format),
              "cannotStart(\"cannot create the file: File exists\")");
    EXPECT_EQ(std::filesystem::file_size(file("target")), 1u);
    EXPECT_EQ(failure(file(), cutSps), "cannotStart(\"unreadable picture size\")");
    EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(StreamRecorderTest, NothingBeforeTheFirstKeyFrameIsWrittenOrCounted) {
    Clip video = clip("h264-720p.h264", VideoCodec::h264, 1);
    video.packets.erase(video.packets.begin(), video.packets.begin() + 2);  // starts at frame 1
    auto recording = recorder(video.format, 2);
    feed(*recording, video.packets, sine(50));
    ASSERT_EQ(finish(*recording), Result(file()));

    const auto packets = videoPackets(file());
    ASSERT_EQ(packets.size(), 20u);
    EXPECT_EQ(packets.front(), "0.000000,K_");
    // 667 ms of audio after the key frame, in 1024-frame packets plus the priming.
    EXPECT_EQ(test::commandOutput("ffprobe -v error -select_streams a -count_packets -show_entries "
                                  "stream=nb_read_packets -of csv=p=0 '" +
                                  file().string() + "'"),
              "33\n");
    EXPECT_THAT(logLines(), ::testing::Not(::testing::Contains(::testing::HasSubstr("dropped"))));
}

TEST_F(StreamRecorderTest, AFullBacklogRefusesAndWaitsForAKeyFrame) {
    const Clip video = clip("h264-720p.h264", VideoCodec::h264, 18);
    const std::vector<StreamPacket> frame = frames(video);  // a key frame every 10
    auto recording = recorder(video.format, std::nullopt);
    recording->appendVideo(frame[0]);
    queue->drain();
    for (std::size_t i = 1; i <= 513; ++i) {
        recording->appendVideo(frame[i]);  // 512 wait, the last is refused
    }
    queue->drain();
    for (std::size_t i = 514; i < 530; ++i) {
        recording->appendVideo(frame[i]);  // 514 to 519 are skipped, 520 is a key frame
    }
    queue->drain();
    EXPECT_EQ(events, std::vector{Event::keyFrameNeeded});
    ASSERT_EQ(finish(*recording), Result(file()));
    EXPECT_EQ(videoPackets(file()).size(), 513u + 10u);
    EXPECT_THAT(logLines(), ::testing::Contains("recording finished, 7 samples dropped"));
}

TEST_F(StreamRecorderTest, AFrameNotAfterTheLastWaitsForAKeyFrame) {
    const Clip video = clip("h264-720p.h264", VideoCodec::h264, 1);
    const std::vector<StreamPacket> frame = frames(video);
    auto recording = recorder(video.format, std::nullopt);
    feed(*recording,
         {frame[0], frame[1], frame[2], frame[2], frame[3], frame[9], frame[10], frame[11]}, {});
    ASSERT_EQ(finish(*recording), Result(file()));
    EXPECT_EQ(events, std::vector{Event::keyFrameNeeded});
    EXPECT_EQ(videoPackets(file()),
              (std::vector<std::string>{"0.000000,K_", "0.033333,__", "0.066666,__", "0.333333,K_",
                                        "0.366666,__"}));
    EXPECT_EQ(decodeErrors(file()), "");
}

TEST_F(StreamRecorderTest, NewParameterSetsRebuildBeforeTheStartAndEndTheRecordingAfterIt) {
    const Clip landscape = clip("h264-720p.h264", VideoCodec::h264, 1);
    // Half a second portrait with its sets repeated at each key frame, then new sets.
    const Clip rotation = clip("h264-rotate.h264", VideoCodec::h264, 1);
    auto recording = recorder(landscape.format, std::nullopt);
    recording->appendVideo(landscape.packets[0]);
    feed(*recording, rotation.packets, sine(50));
    queue->drain();
    EXPECT_EQ(events, std::vector{Event::formatChanged});
    ASSERT_EQ(finish(*recording), Result(file()));

    const nlohmann::json tracks = test::probedStreams(file());
    ASSERT_EQ(tracks.size(), 1u) << "no audio track without channels";
    EXPECT_EQ(tracks[0]["width"], 720);
    EXPECT_EQ(tracks[0]["height"], 1280);
    EXPECT_EQ(videoPackets(file()).size(), 15u);
}

TEST_F(StreamRecorderTest, AConfigWhoseSetsCannotBeReadIsIgnored) {
    const Clip video = clip("h264-720p.h264", VideoCodec::h264, 1);
    std::vector<StreamPacket> packets = video.packets;
    const StreamPacket cutShort{StreamPacket::Kind::config, std::nullopt, {0, 0, 0, 1, 0x67, 0x42}};
    packets.insert(packets.begin() + 10, cutShort);
    auto recording = recorder(video.format, std::nullopt);
    feed(*recording, packets, {});
    ASSERT_EQ(finish(*recording), Result(file()));
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(videoPackets(file()).size(), 30u);
}

TEST_F(StreamRecorderTest, AudioAfterALongGapPlaysWithItsVideo) {
    const Clip video = clip("h264-720p.h264", VideoCodec::h264, 18);
    // Two seconds of sound, then nothing from the phone for 15 s, then two more.
    std::vector<StreamPacket> audio = sine(200);
    for (std::size_t i = 100; i < audio.size(); ++i) {
        *audio[i].ptsMicros += 15'000'000;
    }
    // All of it waits for the queue.
    StreamRecorder recording(file(), video.format, 2, {},
                             {.maxBacklog = 1024, .fragmentInterval = 1s, .queue = queue});
    feed(recording, video.packets, audio);
    ASSERT_EQ(finish(recording), Result(file()));

    const std::vector<double> times = audioTimes(file());
    const auto resumed = std::adjacent_find(times.begin(), times.end(),
                                            [](double a, double b) { return b - a > 1; });
    ASSERT_NE(resumed, times.end());
    // The sound stamped 17 s plays from there, within the frame it falls in.
    const double frame = 1024.0 / 48000;
    EXPECT_GE(*(resumed + 1), 17.0);
    EXPECT_LE(*(resumed + 1), 17.0 + frame + 1e-6);
    EXPECT_NEAR(times.back() - *(resumed + 1), 2.0, 2 * frame);
    EXPECT_EQ(
        test::commandOutput("ffmpeg -v error -i '" + file().string() + "' -map 0:a -f null -"), "");
}

TEST_F(StreamRecorderTest, AFailedOutputEndsTheRecording) {
    // The reason is logged as a private value, which only debug builds show unless asked.
    struct Revealed {
        const bool before = Log::revealsPrivateValues();
        Revealed() { Log::setRevealsPrivateValues(true); }
        ~Revealed() { Log::setRevealsPrivateValues(before); }
    } revealed;
    // The kernel refuses writes past a file size limit, as a full disk would.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = ::signal(SIGXFSZ, SIG_IGN);
    const Clip video = clip("h264-720p.h264", VideoCodec::h264, 2);
    auto recording = recorder(video.format, std::nullopt);
    struct rlimit limited = saved;
    limited.rlim_cur = std::filesystem::file_size(file());  // the first fragment has no room
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    feed(*recording, video.packets, {});
    queue->drain();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);
    EXPECT_EQ(events, std::vector{Event::writerFailed});
    EXPECT_THAT(logLines(), ::testing::Contains("recording writer failed: File too large"));
    EXPECT_EQ(finish(*recording), Result(RecorderError::writeFailed("File too large")));
}

TEST_F(StreamRecorderTest, TheFinishCompletionMayHoldTheLastReference) {
    const Clip video = clip("h264-720p.h264", VideoCodec::h264, 1);
    auto recording = std::make_shared<StreamRecorder>(file(), video.format, std::nullopt);
    recording->appendVideo(video.packets[1]);
    std::promise<Result> result;
    recording->finish(
        [&result, keep = recording](Result finished) { result.set_value(std::move(finished)); });
    recording.reset();
    EXPECT_EQ(result.get_future().get(), Result(file()));
}

}  // namespace
}  // namespace qm
