#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "QuillmereCore/Bytes.h"
#include "QuillmereCore/FileDescriptor.h"
#include "QuillmereCore/StreamTypes.h"
#include "Recorder/AacEncoder.h"
#include "VideoPipeline/FFmpegHandles.h"
#include "VideoPipeline/FormatDescription.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace qm {

// One fragmented MP4 file on libavformat: a video track whose samples are copied as they come
// and, optionally, an AAC track encoded from PCM. A fragment reaches the disk as soon as the
// muxer cuts it, so a recording that stops without its trailer keeps every complete fragment.
// Times are counted from the first key frame. Used on one thread; destroying it without
// finish() closes the file as it stands.
class Mp4Writer {
public:
    enum class Outcome {
        written,
        refused,  // this sample is lost; the file goes on
        failed,   // the file can take no more (its output failed, a full disk)
    };

    // Creates the file, never over an existing one or through a link, and writes its header.
    // Throws RecorderError::cannotStart.
    Mp4Writer(const std::filesystem::path& path, const FormatDescription& video, VideoSize size,
              std::optional<int> audioChannels, std::chrono::microseconds fragmentInterval);
    Mp4Writer(const Mp4Writer&) = delete;
    Mp4Writer& operator=(const Mp4Writer&) = delete;

    // `sample` holds length-prefixed NAL units.
    Outcome writeVideo(ByteView sample, std::int64_t ptsMicros, bool keyFrame);
    // Silence, then interleaved 16-bit PCM; nothing without an audio track.
    Outcome writeAudio(std::int64_t silenceFrames, ByteView pcm);
    // A gap of `frames` in the audio's times before the next samples; nothing without an audio
    // track.
    Outcome skipAudio(std::int64_t frames);
    // Puts what was written so far on the disk, a fragment of its own, so that a file whose
    // finish never comes plays up to here; refused before the sound's first packet and the
    // second picture.
    Outcome cutFragment();
    // What became of the file's name by the end.
    enum class Name {
        kept,
        writtenAgain,  // it led elsewhere or nowhere: the file was written there again
        lost,          // and that failed: the recording is gone
    };

    // Encodes the audio still queued and writes the trailer. A file whose name no longer leads
    // to it (its folder removed meanwhile) is written again under that name from the open file;
    // failed when that cannot be done.
    Outcome finish();
    Name name() const { return name_; }

    // Why the last sample was refused or the file failed.
    const std::string& failure() const { return failure_; }

private:
    struct OutputContextFree {
        // The file closes with the context; whatever the muxer holds back is lost.
        void operator()(AVFormatContext* context) const noexcept {
            avio_closep(&context->pb);
            avformat_free_context(context);
        }
    };
    using OutputContextHandle = std::unique_ptr<AVFormatContext, OutputContextFree>;

    Outcome write(AVPacket& packet, const AVStream& stream, AVRational timeBase);
    Outcome encoded(int status);
    Outcome keepName();

    const std::filesystem::path path_;
    // The file as created, whatever becomes of its name.
    FileDescriptor file_;
    Name name_ = Name::kept;
    OutputContextHandle context_;
    AVStream* video_ = nullptr;
    AVStream* audio_ = nullptr;
    std::optional<AacEncoder> encoder_;
    Outcome audioOutcome_ = Outcome::written;  // the worst of the packets of one encode
    bool audioMuxed_ = false;
    std::size_t videoMuxed_ = 0;
    PacketHandle packet_;
    std::string failure_;
};

}  // namespace qm
