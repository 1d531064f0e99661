#pragma once

#include <QObject>
#include <exception>
#include <filesystem>
#include <functional>

#include "QuillmereCore/TypedError.h"
#include "QuillmereKit/Session/SessionTypes.h"
#include "QuillmereKit/Tasks/GuiTask.h"

namespace qm {

enum class RecordingErrorKind { notStreaming, alreadyRecording, notRecording };

// Why the session would not start or stop a recording.
class RecordingError : public TypedError<RecordingErrorKind> {
public:
    // No live stream with a server connection and a video format to record.
    static RecordingError notStreaming() { return {Kind::notStreaming, "notStreaming"}; }
    static RecordingError alreadyRecording() {
        return {Kind::alreadyRecording, "alreadyRecording"};
    }
    // The session holds no recorder: none was started, or it already took it out itself.
    static RecordingError notRecording() { return {Kind::notRecording, "notRecording"}; }

private:
    RecordingError(Kind kind, const std::string& message) : TypedError(kind, message) {}
};

// A recording the session finished by itself: the stream ended, its format changed or the
// writer failed. `error` is null when the file was completed.
struct RecordingEnd {
    std::filesystem::path url;
    std::exception_ptr error;
};

// What the recording controller and the recording overlay use of a streaming session.
// GUI thread only.
class RecordingSession : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual SessionPhase phase() const = 0;
    // A live stream runs with a server connection: never for the demo stream.
    virtual bool canRecord() const = 0;

    // Creates the file's folder and starts recording into the file. Throws RecordingError, the
    // file system's error or the recorder's.
    virtual void startRecording(const std::filesystem::path& url) = 0;
    // Finishes the running recording; `done` gets the file, RecordingError::notRecording or
    // the recorder's error, once. It does not call onRecordingEnded.
    virtual void stopRecording(std::function<void(TaskOutcome<std::filesystem::path>)> done) = 0;

    // Called for every recording the session finishes by itself.
    std::function<void(const RecordingEnd&)> onRecordingEnded;

signals:
    void phaseChanged();
    void canRecordChanged();
};

}  // namespace qm
