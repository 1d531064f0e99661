#include <utility>

#include "QuillmereCore/HostClock.h"
#include "QuillmereCore/Log.h"
#include "QuillmereKit/Session/Session.h"

namespace qm {

namespace {

std::string_view eventName(StreamRecorder::Event event) {
    switch (event) {
        case StreamRecorder::Event::formatChanged:
            return "formatChanged";
        case StreamRecorder::Event::keyFrameNeeded:
            return "keyFrameNeeded";
        case StreamRecorder::Event::writerFailed:
            return "writerFailed";
    }
    return "";
}

}  // namespace

void Session::finishRecording(std::shared_ptr<StreamRecorder> recorder,
                              StreamRecorder::FinishHandler completion) {
    // The completion holds the last reference: the recorder's queue, with the backlog still to
    // write and the file to complete, is never joined on this thread.
    StreamRecorder& finishing = *recorder;
    finishing.finish([recorder = std::move(recorder), completion = std::move(completion)](
                         StreamRecorder::FinishResult result) { completion(std::move(result)); });
}

void Session::startRecording(const std::filesystem::path& url) {
    if (phase().kind() != SessionPhase::Kind::streaming || !server_) {
        throw RecordingError::notStreaming();
    }
    const std::shared_ptr<VideoDecoder> decoder = stage_->decoder();
    const std::shared_ptr<const FormatDescription> format =
        decoder ? decoder->formatDescription() : nullptr;
    if (!format) {
        throw RecordingError::notStreaming();
    }
    if (recorderBox_->current()) {
        throw RecordingError::alreadyRecording();
    }
    if (url.has_parent_path()) {
        std::filesystem::create_directories(url.parent_path());
    }
    const std::int64_t serial = ++recordingSerial_;
    // The audio track is decided now: only sound already flowing is recorded.
    const std::optional<int> audioChannels =
        recorderBox_->audioFlowing() ? std::optional(2) : std::nullopt;
    recorderBox_->set(std::make_shared<StreamRecorder>(
        url, *format, audioChannels,
        [this, main = main_, serial](StreamRecorder::Event event) {
            main->post([this, event, serial] { recorderEvent(event, serial); });
        },
        StreamRecorderOptions{.queue = recorderQueue_, .arrivalClock = HostClock::nowNanos}));
    setRecording(true);
    // Fresh parameter sets and a key frame for the recording to begin with.
    sendControl(ResetVideo{});
    Log::session().info("recording started");
}

void Session::stopRecording(std::function<void(TaskOutcome<std::filesystem::path>)> done) {
    std::shared_ptr<StreamRecorder> recorder = recorderBox_->take();
    setRecording(false);
    if (!recorder) {
        done(std::make_exception_ptr(RecordingError::notRecording()));
        return;
    }
    auto finished = [done = std::move(done)](StreamRecorder::FinishResult result) {
        if (const auto* path = std::get_if<std::filesystem::path>(&result)) {
            Log::session().info("recording saved");
            done(*path);
        } else {
            done(std::make_exception_ptr(std::get<RecorderError>(result)));
        }
    };
    finishRecording(std::move(recorder), std::move(finished));
}

void Session::endRecording(std::shared_ptr<StreamRecorder> recorder, std::function<void()> then) {
    auto finished = [this, main = main_, url = recorder->outputURL(),
                     then](StreamRecorder::FinishResult result) {
        main->post([this, url, result, then] {
            RecordingEnd end{url, nullptr};
            if (const auto* error = std::get_if<RecorderError>(&result)) {
                Log::session().error("recording finish failed: {}", error->what());
                end.error = std::make_exception_ptr(*error);
            } else {
                Log::session().info("recording saved");
            }
            if (onRecordingEnded) {
                onRecordingEnded(end);
            }
            if (then) {
                then();
            }
        });
    };
    finishRecording(std::move(recorder), std::move(finished));
}

void Session::recorderEvent(StreamRecorder::Event event, std::int64_t serial) {
    // Events of an earlier recording change nothing.
    if (serial != recordingSerial_ || !recorderBox_->current()) {
        return;
    }
    if (event == StreamRecorder::Event::keyFrameNeeded) {
        sendControl(ResetVideo{});
        return;
    }
    if (std::shared_ptr<StreamRecorder> recorder = recorderBox_->take()) {
        setRecording(false);
        Log::session().info("recording stopped: {}", eventName(event));
        endRecording(std::move(recorder), {});
    }
}

}  // namespace qm
