#include "Recorder/Mp4Writer.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include "QuillmereCore/FileDescriptor.h"
#include "Recorder/RecorderError.h"

namespace qm {

namespace {

constexpr AVRational microseconds{1, 1000000};
constexpr std::uint32_t hvc1Tag = MKTAG('h', 'v', 'c', '1');  // the muxer's default is hev1

void check(int status, std::string_view what) {
    if (status < 0) {
        throw RecorderError::cannotStart(what, status);
    }
}

void setVideoParameters(AVCodecParameters& parameters, const FormatDescription& video,
                        VideoSize size) {
    const bool hevc = video.mediaSubtype == FormatDescription::hvc1;
    parameters.codec_type = AVMEDIA_TYPE_VIDEO;
    parameters.codec_id = hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
    parameters.codec_tag = hevc ? hvc1Tag : 0;
    parameters.width = size.width;
    parameters.height = size.height;
    const Bytes& record = video.configurationRecord;
    parameters.extradata =
        static_cast<std::uint8_t*>(av_mallocz(record.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!parameters.extradata) {
        throw RecorderError::cannotStart("video track", AVERROR(ENOMEM));
    }
    std::memcpy(parameters.extradata, record.data(), record.size());
    parameters.extradata_size = static_cast<int>(record.size());
}

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// A new file at `path`, its folders made again, with the first `size` bytes of `from`; nothing
// left at `path` when that fails.
std::error_code copyTo(int from, off_t size, const std::filesystem::path& path) {
    std::error_code error;
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path(), error);
        if (error) {
            return error;
        }
    }
    FileDescriptor to(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!to) {
        return lastError();
    }
    std::vector<std::uint8_t> buffer(std::size_t(1) << 20);
    for (off_t offset = 0; !error && offset < size;) {
        const ssize_t count = ::pread(from, buffer.data(), buffer.size(), offset);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            error = count < 0 ? lastError() : std::make_error_code(std::errc::io_error);
            break;
        }
        for (ssize_t done = 0; !error && done < count;) {
            const ssize_t put = ::write(to.get(), buffer.data() + done, std::size_t(count - done));
            if (put < 0 && errno != EINTR) {
                error = lastError();
            }
            done += std::max<ssize_t>(put, 0);
        }
        offset += count;
    }
    if (!error && !to.close()) {
        error = lastError();
    }
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    return error;
}

}  // namespace

Mp4Writer::Mp4Writer(const std::filesystem::path& path, const FormatDescription& video,
                     VideoSize size, std::optional<int> audioChannels,
                     std::chrono::microseconds fragmentInterval)
    : path_(path) {
    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, nullptr, "mp4", path.c_str()), "mp4 muxer");
    context_.reset(raw);
    packet_.reset(av_packet_alloc());
    video_ = avformat_new_stream(raw, nullptr);
    if (!packet_ || !video_) {
        throw RecorderError::cannotStart("mp4 muxer", AVERROR(ENOMEM));
    }
    setVideoParameters(*video_->codecpar, video, size);
    video_->time_base = microseconds;
    if (audioChannels) {
        encoder_.emplace(*audioChannels, [this](AVPacket& packet) {
            const Outcome outcome = write(packet, *audio_, encoder_->context().time_base);
            if (outcome > audioOutcome_) {
                audioOutcome_ = outcome;
            }
        });
        audio_ = avformat_new_stream(raw, nullptr);
        if (!audio_) {
            throw RecorderError::cannotStart("mp4 muxer", AVERROR(ENOMEM));
        }
        check(avcodec_parameters_from_context(audio_->codecpar, &encoder_->context()),
              "audio track");
        audio_->time_base = encoder_->context().time_base;
    }

    // Created here and only here: an existing file, or a link planted where the new one goes, is
    // never opened. The muxer then opens this very file through its descriptor.
    // Kept open to read back should the name go.
    file_ = FileDescriptor(
        ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    check(file_ ? 0 : AVERROR(errno), "cannot create the file");
    if (const int status = avio_open(
            &raw->pb, fmt::format("file:/proc/self/fd/{}", file_.get()).c_str(), AVIO_FLAG_WRITE);
        status < 0) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        check(status, "cannot create the file");
    }
    AVDictionary* options = nullptr;
    // The moov waits for the first fragment, so that it knows the audio starts with the
    // encoder's priming and writes the edit list that keeps it out of the picture's time.
    av_dict_set(&options, "movflags", "+empty_moov+delay_moov+default_base_moof", 0);
    av_dict_set_int(&options, "frag_duration", fragmentInterval.count(), 0);
    av_dict_set(&options, "flush_packets", "1", 0);
    int status = avformat_write_header(raw, &options);
    const DictionaryHandle unused(options);
    if (status >= 0 && raw->pb->error < 0) {
        status = raw->pb->error;
    }
    if (status >= 0 && unused) {
        status = AVERROR_OPTION_NOT_FOUND;
    }
    if (status < 0) {
        context_.reset();
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        check(status, "cannot write the file");
    }
}

Mp4Writer::Outcome Mp4Writer::writeVideo(ByteView sample, std::int64_t ptsMicros, bool keyFrame) {
    if (sample.size() > static_cast<std::size_t>(INT_MAX)) {
        failure_ = "sample too large";
        return Outcome::refused;
    }
    AVPacket& packet = *packet_;
    // Not reference-counted: the muxer copies the sample into its fragment during the call.
    packet.data = const_cast<std::uint8_t*>(sample.data());
    packet.size = static_cast<int>(sample.size());
    packet.pts = packet.dts = ptsMicros;
    packet.flags = keyFrame ? AV_PKT_FLAG_KEY : 0;
    const Outcome outcome = write(packet, *video_, microseconds);
    av_packet_unref(&packet);
    return outcome;
}

Mp4Writer::Outcome Mp4Writer::writeAudio(std::int64_t silenceFrames, ByteView pcm) {
    if (!encoder_) {
        return Outcome::written;
    }
    audioOutcome_ = Outcome::written;
    return encoded(encoder_->encode(silenceFrames, pcm));
}

Mp4Writer::Outcome Mp4Writer::skipAudio(std::int64_t frames) {
    if (!encoder_) {
        return Outcome::written;
    }
    audioOutcome_ = Outcome::written;
    return encoded(encoder_->skip(frames));
}

Mp4Writer::Outcome Mp4Writer::cutFragment() {
    if (!context_->pb) {
        return Outcome::failed;
    }
    // The first fragment brings the moov, whose edit list needs the encoder's first packet,
    // and the muxer can give a lone picture no time to be shown for.
    if ((audio_ && !audioMuxed_) || videoMuxed_ < 2) {
        return Outcome::refused;
    }
    // The muxer's first cut writes only the moov and keeps the samples for the next.
    int status = av_write_frame(context_.get(), nullptr);
    if (status >= 0) {
        status = av_write_frame(context_.get(), nullptr);
    }
    if (status >= 0 && context_->pb->error < 0) {
        status = context_->pb->error;
    }
    if (status < 0) {
        failure_ = ffmpegErrorText(status);
        return Outcome::failed;
    }
    return Outcome::written;
}

Mp4Writer::Outcome Mp4Writer::finish() {
    if (encoder_) {
        audioOutcome_ = Outcome::written;
        if (encoded(encoder_->finish()) == Outcome::failed) {
            return Outcome::failed;
        }
    }
    int status = av_write_trailer(context_.get());
    const int closed = avio_closep(&context_->pb);
    status = status < 0 ? status : closed;
    if (status < 0) {
        failure_ = ffmpegErrorText(status);
        return Outcome::failed;
    }
    return keepName();
}

Mp4Writer::Outcome Mp4Writer::keepName() {
    struct stat written {};
    struct stat named {};
    if (::fstat(file_.get(), &written) != 0) {
        failure_ = std::generic_category().message(errno);
        return Outcome::failed;
    }
    if (::lstat(path_.c_str(), &named) == 0 && named.st_dev == written.st_dev &&
        named.st_ino == written.st_ino) {
        return Outcome::written;
    }
    // Someone tidying removed the folder, or moved the file, while it was being written: the
    // open file still holds every byte, so it goes back where the person was told it would be.
    name_ = Name::writtenAgain;
    if (const std::error_code error = copyTo(file_.get(), written.st_size, path_)) {
        name_ = Name::lost;
        failure_ =
            fmt::format("the file was removed while recording and could not be written again: {}",
                        error.message());
        return Outcome::failed;
    }
    return Outcome::written;
}

Mp4Writer::Outcome Mp4Writer::write(AVPacket& packet, const AVStream& stream, AVRational timeBase) {
    if (!context_->pb) {
        return Outcome::failed;
    }
    av_packet_rescale_ts(&packet, timeBase, stream.time_base);
    packet.stream_index = stream.index;
    // Written as it comes: the interleaving call would hold video back while audio is silent.
    const int status = av_write_frame(context_.get(), &packet);
    if (status >= 0) {
        audioMuxed_ = audioMuxed_ || &stream == audio_;
        videoMuxed_ += &stream == video_ ? 1 : 0;
        return Outcome::written;
    }
    failure_ = ffmpegErrorText(status);
    return context_->pb->error < 0 ? Outcome::failed : Outcome::refused;
}

Mp4Writer::Outcome Mp4Writer::encoded(int status) {
    if (status < 0 && audioOutcome_ == Outcome::written) {
        failure_ = ffmpegErrorText(status);
        return Outcome::refused;
    }
    return audioOutcome_;
}

}  // namespace qm
