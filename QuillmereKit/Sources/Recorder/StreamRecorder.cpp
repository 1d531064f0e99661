#include "Recorder/StreamRecorder.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include <pthread.h>

#include "QuillmereCore/Log.h"
#include "QuillmereCore/SerialQueue.h"
#include "Recorder/AnnexBSamples.h"
#include "Recorder/AudioTimeline.h"
#include "Recorder/Mp4Writer.h"
#include "Recorder/VideoFormat.h"

namespace qm {

namespace {

void removeFile(const std::filesystem::path& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

}  // namespace

// The intake (under its lock) and everything the queue writes. The queued work holds it.
class StreamRecorder::Writing {
public:
    Writing(std::filesystem::path path, const FormatDescription& videoFormat,
            std::optional<int> audioChannels, EventHandler onEvent,
            const StreamRecorderOptions& options)
        : url(std::move(path)),
          codec_(videoFormat.mediaSubtype),
          audioChannels_(audioChannels),
          maxBacklog_(options.maxBacklog),
          fragmentInterval_(options.fragmentInterval),
          onEvent_(onEvent ? std::move(onEvent) : [](Event) {}),
          parameterSets_(VideoFormat::parameterSets(videoFormat)),
          timeline_(AudioTimeline::framesAt(options.fragmentInterval.count())) {
        const auto size = VideoFormat::pictureSize(videoFormat);
        if (!size) {
            throw RecorderError::cannotStart("unreadable picture size");
        }
        writer_ = std::make_unique<Mp4Writer>(this->url, videoFormat, *size, audioChannels_,
                                              fragmentInterval_);
    }

    // Under the intake lock: nothing when the backlog is full, else whether a video packet
    // was refused since the last one admitted.
    std::optional<bool> admit(bool video, bool always) {
        std::lock_guard lock(intakeMutex_);
        if (!always && backlog_ >= maxBacklog_) {
            ++dropped_;
            videoLost_ = videoLost_ || video;
            return std::nullopt;
        }
        ++backlog_;
        return video && std::exchange(videoLost_, false);
    }

    // Ends an admitted packet's stay in the backlog, however its writing ends.
    struct Admitted {
        Writing& writing;
        ~Admitted() {
            std::lock_guard lock(writing.intakeMutex_);
            --writing.backlog_;
        }
    };

    void writeVideo(const StreamPacket& packet, bool lostBefore,
                    std::optional<std::uint64_t> arrived);
    void writeAudio(const StreamPacket& packet, std::optional<std::uint64_t> arrived);
    // A quit's bound may end the process before the finish gets its turn behind what is still
    // queued: what the muxer holds goes to the disk first.
    void finishAsked() { finishAsked_ = true; }
    void writeOutOnceFinishAsked();
    void finish(const FinishHandler& completion);

    const std::filesystem::path url;

private:
    bool stopped() const { return finished_ || formatChanged_ || writerFailed_ || setupFailure_; }
    void waitForKeyFrame();
    void handleConfig(ByteView config);
    bool checkWriter(Mp4Writer::Outcome outcome);
    RecorderError writeFailure();
    std::optional<std::int64_t> sinceStart(std::int64_t pts) const;
    std::optional<std::int64_t> soundSinceStart(std::int64_t pts,
                                                std::optional<std::uint64_t> arrived);

    const std::uint32_t codec_;
    const std::optional<int> audioChannels_;
    const std::size_t maxBacklog_;
    const std::chrono::microseconds fragmentInterval_;
    const EventHandler onEvent_;

    std::atomic<bool> finishAsked_ = false;
    std::mutex intakeMutex_;
    std::size_t backlog_ = 0;
    std::size_t dropped_ = 0;
    bool videoLost_ = false;

    std::unique_ptr<Mp4Writer> writer_;
    std::optional<VideoParameterSets> parameterSets_;
    AudioTimeline timeline_;
    bool sessionStarted_ = false;
    bool writtenOut_ = false;
    bool finished_ = false;
    bool formatChanged_ = false;
    bool writerFailed_ = false;
    bool needsKeyFrame_ = false;
    std::optional<std::string> setupFailure_;
    std::int64_t startPts_ = 0;
    std::optional<std::uint64_t> startArrived_;
    // Added to the sound's stamps, fixed by its first packet.
    std::optional<std::int64_t> soundShift_;
    std::optional<std::int64_t> lastVideoPts_;
    std::size_t skipped_ = 0;
};

void StreamRecorder::Writing::waitForKeyFrame() {
    if (!needsKeyFrame_) {
        needsKeyFrame_ = true;
        if (sessionStarted_) {
            onEvent_(Event::keyFrameNeeded);
        }
    }
}

std::optional<std::int64_t> StreamRecorder::Writing::sinceStart(std::int64_t pts) const {
    std::int64_t offset = 0;
    if (__builtin_sub_overflow(pts, startPts_, &offset)) {
        return std::nullopt;
    }
    return offset;
}

std::optional<std::int64_t> StreamRecorder::Writing::soundSinceStart(
    std::int64_t pts, std::optional<std::uint64_t> arrived) {
    const std::optional<std::int64_t> stamped = sinceStart(pts);
    if (!stamped) {
        return std::nullopt;
    }
    if (!soundShift_) {
        // A new server's clocks, or a picture held back behind a slow decoder, can put the
        // sound's stamps tens of seconds from the picture's.
        constexpr std::int64_t trustedMicros = 100'000;
        soundShift_ = 0;
        if (arrived && startArrived_) {
            const auto arrivedAt = static_cast<std::int64_t>(*arrived - *startArrived_) / 1000;
            if (std::abs(arrivedAt - *stamped) > trustedMicros) {
                soundShift_ = arrivedAt - *stamped;
            }
        }
    }
    std::int64_t offset = 0;
    if (__builtin_add_overflow(*stamped, *soundShift_, &offset)) {
        return std::nullopt;
    }
    return offset;
}

void StreamRecorder::Writing::writeVideo(const StreamPacket& packet, bool lostBefore,
                                         std::optional<std::uint64_t> arrived) {
    if (stopped()) {
        return;
    }
    if (lostBefore) {
        waitForKeyFrame();
    }
    if (packet.kind == StreamPacket::Kind::config) {
        handleConfig(packet.data);
        return;
    }
    if (!packet.ptsMicros) {
        return;
    }
    const bool keyFrame = packet.kind == StreamPacket::Kind::keyFrame;
    if (!sessionStarted_ && !keyFrame) {
        return;
    }
    std::optional<std::int64_t> offset = 0;
    if (sessionStarted_) {
        if (needsKeyFrame_ && !keyFrame) {
            ++skipped_;
            return;
        }
        // A frame that is not after the last one cannot be written, and the frames that refer
        // to it would not decode: wait for the next key frame.
        offset = sinceStart(*packet.ptsMicros);
        if (!offset || *offset < 0 || (lastVideoPts_ && *packet.ptsMicros <= *lastVideoPts_)) {
            ++skipped_;
            waitForKeyFrame();
            return;
        }
    }
    const Bytes sample = AnnexBSamples::lengthPrefixed(packet.data, codec_);
    if (sample.empty()) {
        return;
    }
    if (!sessionStarted_) {
        sessionStarted_ = true;
        startPts_ = *packet.ptsMicros;
        startArrived_ = arrived;
    }
    needsKeyFrame_ = needsKeyFrame_ && !keyFrame;
    const Mp4Writer::Outcome outcome = writer_->writeVideo(sample, *offset, keyFrame);
    if (outcome == Mp4Writer::Outcome::written) {
        lastVideoPts_ = packet.ptsMicros;
        return;
    }
    ++skipped_;
    if (!checkWriter(outcome)) {
        waitForKeyFrame();
    }
}

void StreamRecorder::Writing::handleConfig(ByteView config) {
    const auto sets = VideoFormat::parameterSets(config, codec_);
    if (!sets || sets == parameterSets_) {
        return;
    }
    if (sessionStarted_) {
        formatChanged_ = true;
        Log::recorder().info("stream format changed: the recording ends here");
        onEvent_(Event::formatChanged);
        return;
    }
    const auto format = VideoFormat::make(codec_, *sets);
    const auto size = format ? VideoFormat::pictureSize(*format) : std::nullopt;
    if (!size) {
        return;
    }
    writer_.reset();
    removeFile(url);
    try {
        writer_ =
            std::make_unique<Mp4Writer>(url, *format, *size, audioChannels_, fragmentInterval_);
        parameterSets_ = sets;
    } catch (const RecorderError& error) {
        setupFailure_ = error.what();
    }
}

void StreamRecorder::Writing::writeAudio(const StreamPacket& packet,
                                         std::optional<std::uint64_t> arrived) {
    if (stopped() || !sessionStarted_ || !audioChannels_ || !packet.ptsMicros) {
        return;
    }
    const std::size_t bytesPerFrame = 2 * static_cast<std::size_t>(*audioChannels_);
    const std::size_t frames = packet.data.size() / bytesPerFrame;
    const auto offset = frames > 0 ? soundSinceStart(*packet.ptsMicros, arrived) : std::nullopt;
    if (!offset) {
        return;
    }
    const AudioTimeline::Placement placement =
        timeline_.place(*offset, static_cast<std::int64_t>(frames));
    const auto cut = static_cast<std::size_t>(placement.cutFrames);
    if (cut == frames) {
        return;  // all of it before the start
    }
    const ByteView pcm =
        ByteView(packet.data).subspan(cut * bytesPerFrame, (frames - cut) * bytesPerFrame);
    Mp4Writer::Outcome outcome = placement.skippedFrames > 0
                                     ? writer_->skipAudio(placement.skippedFrames)
                                     : Mp4Writer::Outcome::written;
    if (outcome != Mp4Writer::Outcome::failed) {
        outcome = std::max(outcome, writer_->writeAudio(placement.silenceFrames, pcm));
    }
    if (outcome != Mp4Writer::Outcome::written) {
        ++skipped_;
        checkWriter(outcome);
    }
}

void StreamRecorder::Writing::writeOutOnceFinishAsked() {
    if (finishAsked_ && sessionStarted_ && !stopped() && !writtenOut_) {
        const Mp4Writer::Outcome outcome = writer_->cutFragment();
        writtenOut_ = outcome != Mp4Writer::Outcome::refused;
        checkWriter(outcome);
    }
}

bool StreamRecorder::Writing::checkWriter(Mp4Writer::Outcome outcome) {
    if (outcome == Mp4Writer::Outcome::failed && !writerFailed_) {
        writerFailed_ = true;
        Log::recorder().error("recording writer failed: {}", writer_->failure());
        onEvent_(Event::writerFailed);
    }
    return writerFailed_;
}

RecorderError StreamRecorder::Writing::writeFailure() {
    const std::string& why = writer_->failure();
    Log::recorder().error("recording write failed: {}", why);
    return RecorderError::writeFailed(why);
}

void StreamRecorder::Writing::finish(const FinishHandler& completion) {
    const bool started = sessionStarted_;
    if (std::exchange(finished_, true)) {
        completion(RecorderError::writeFailed("finish() called twice"));
        return;
    }
    if (setupFailure_) {
        completion(RecorderError::writeFailed(*setupFailure_));
        return;
    }
    if (!started) {
        writer_.reset();
        removeFile(url);
        completion(RecorderError::noVideo());
        return;
    }
    const bool complete = !writerFailed_ && writer_->finish() == Mp4Writer::Outcome::written;
    std::optional<RecorderError> failure;
    if (writer_->name() == Mp4Writer::Name::lost) {
        Log::recorder().error("recording lost: {}", writer_->failure());
        failure = RecorderError::fileRemoved(writer_->failure());
    } else if (!complete) {
        failure = writeFailure();
    } else if (writer_->name() == Mp4Writer::Name::writtenAgain) {
        Log::recorder().warn("recording's file was removed while recording: written again");
    }
    writer_.reset();
    if (failure) {
        completion(std::move(*failure));
        return;
    }
    std::size_t dropped = skipped_;
    {
        std::lock_guard lock(intakeMutex_);
        dropped += dropped_;
    }
    if (dropped > 0) {
        Log::recorder().info("recording finished, {} samples dropped", dropped);
    }
    completion(url);
}

StreamRecorder::StreamRecorder(std::filesystem::path url, const FormatDescription& videoFormat,
                               std::optional<int> audioChannels, EventHandler onEvent,
                               StreamRecorderOptions options)
    : writing_(std::make_shared<Writing>(std::move(url), videoFormat, audioChannels,
                                         std::move(onEvent), options)),
      queue_(std::move(options.queue)),
      arrivalClock_(std::move(options.arrivalClock)) {
    if (!queue_) {
        auto own = std::make_shared<SerialQueue>("recorder");
        ownQueue_ = own.get();
        queue_ = std::move(own);
    }
}

StreamRecorder::~StreamRecorder() {
    // Dropped by its own finish completion: the queue cannot join itself, another thread does.
    if (ownQueue_ && ownQueue_->isCurrent()) {
        std::thread([queue = std::move(queue_)] {
            pthread_setname_np(pthread_self(), "recorder.join");
        }).detach();
    }
}

std::optional<std::uint64_t> StreamRecorder::arrived() const {
    return arrivalClock_ ? std::optional(arrivalClock_()) : std::nullopt;
}

const std::filesystem::path& StreamRecorder::outputURL() const {
    return writing_->url;
}

void StreamRecorder::appendVideo(StreamPacket packet) {
    const bool config = packet.kind == StreamPacket::Kind::config;
    const std::optional<bool> lostBefore = writing_->admit(true, config);
    if (!lostBefore) {
        return;
    }
    queue_->post(
        [writing = writing_, packet = std::move(packet), lost = *lostBefore, arrived = arrived()] {
            const Writing::Admitted admitted{*writing};
            writing->writeOutOnceFinishAsked();
            writing->writeVideo(packet, lost, arrived);
        });
}

void StreamRecorder::appendAudio(StreamPacket packet) {
    if (!writing_->admit(false, false)) {
        return;
    }
    queue_->post([writing = writing_, packet = std::move(packet), arrived = arrived()] {
        const Writing::Admitted admitted{*writing};
        writing->writeOutOnceFinishAsked();
        writing->writeAudio(packet, arrived);
    });
}

void StreamRecorder::finish(FinishHandler completion) {
    writing_->finishAsked();
    queue_->post(
        [writing = writing_, completion = std::move(completion)] { writing->finish(completion); });
}

}  // namespace qm
