#pragma once

#include <filesystem>
#include <optional>

#include "QuillmereCore/TypedError.h"
#include "Recorder/RecorderError.h"

namespace qm {

enum class RecordingErrorKind { notStreaming, alreadyRecording, notRecording };

// Why the session could not start or stop a recording.
class RecordingError : public TypedError<RecordingErrorKind> {
public:
    // No stream, or its decoder has no format yet.
    static RecordingError notStreaming() { return {Kind::notStreaming, "notStreaming"}; }
    static RecordingError alreadyRecording() {
        return {Kind::alreadyRecording, "alreadyRecording"};
    }
    static RecordingError notRecording() { return {Kind::notRecording, "notRecording"}; }

private:
    RecordingError(Kind kind, const std::string& message) : TypedError(kind, message) {}
};

// How a recording ended that nobody stopped: the stream went, or the recorder gave up.
struct RecordingEnd {
    std::filesystem::path url;           // the movie file
    std::optional<RecorderError> error;  // none when the file was finished cleanly
};

}  // namespace qm
