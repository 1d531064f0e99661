#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include <QtQml/qqmlregistration.h>

#include "Desktop/FileReveal.h"
#include "QuillmereKit/Session/RecordingSession.h"
#include "QuillmereKit/Tasks/GuiTask.h"

namespace qm {

// The app's side of recording the stream: picks each file, asks the session to start and stop
// it, and keeps what the overlay, the menu and the quit guard read, every failure worded as one
// sentence. One per process. GUI thread only.
class RecordingController : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The app model owns the recording controller")
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    // Invalid while not recording.
    Q_PROPERTY(QDateTime startedAt READ startedAt NOTIFY startedAtChanged)
    // A recording's file is still awaited while none runs: the session is finishing it.
    Q_PROPERTY(bool isFinishing READ isFinishing NOTIFY isFinishingChanged)
    // Empty when no saved recording is to be shown.
    Q_PROPERTY(QUrl lastFile READ lastFile NOTIFY lastFileChanged)
    Q_PROPERTY(QString lastFileName READ lastFileName NOTIFY lastFileChanged)
    // Empty when no failure is to be shown.
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)

public:
    using Clock = std::function<QDateTime()>;

    // The user's movies folder: the desktop's videos folder, else "Videos" in the home folder
    // of the user database.
    static std::filesystem::path moviesDirectory();

    explicit RecordingController(std::filesystem::path movies = moviesDirectory(),
                                 FileReveal reveal = FileReveal(),
                                 Clock now = QDateTime::currentDateTimeUtc,
                                 QObject* parent = nullptr);

    bool isRecording() const noexcept { return isRecording_; }
    QDateTime startedAt() const { return startedAt_; }
    bool isFinishing() const noexcept { return activeFile_ && !isRecording_; }
    QUrl lastFile() const;
    QString lastFileName() const;
    QString errorMessage() const { return errorMessage_; }

    // Starts a recording into a new file; on failure errorMessage says why.
    void start(RecordingSession& session);
    // Ends the running display at once, then settles when the session has finished the file,
    // with lastFile or errorMessage set. Never fails.
    GuiTask<void> stop(RecordingSession& session);
    // The record button and the menu command: stops a recording, or starts one when the
    // session can record, and else says why not in errorMessage.
    void toggle(RecordingSession* session);
    // Why the session cannot start a recording now; empty when it can.
    static QString unavailableReason(const RecordingSession& session);
    // Settles once no file of this controller is being finished; at once when none is. The quit
    // guard waits for it after stop(), so that quitting does not cut a file short.
    GuiTask<void> whenFinished();

    void recordingStarted(const std::filesystem::path& url);
    // A recording the session finished by itself; reports of other files are ignored.
    void recordingEnded(const RecordingEnd& end);
    // The stream's phase changed. Why it could not record, which was about the phase before,
    // goes. A stream that no longer plays ends the running display while the session finishes
    // the file, whose end report still sets the outcome.
    void phaseChanged(bool streaming);
    Q_INVOKABLE void revealLastFile();
    Q_INVOKABLE void dismissMessages();

    static QString startFailureMessage(const std::exception_ptr& error);
    static QString saveFailureMessage(const std::exception_ptr& error);

signals:
    void isRecordingChanged();
    void startedAtChanged();
    void isFinishingChanged();
    void lastFileChanged();
    void errorMessageChanged();

private:
    // Applies `edit` to the fields and tells observers what really changed.
    template <typename Edit>
    void change(Edit&& edit);
    void finishStop(const std::optional<std::filesystem::path>& stopped,
                    const TaskOutcome<std::filesystem::path>& outcome);

    const std::filesystem::path moviesDirectory_;
    const FileReveal reveal_;
    const Clock now_;

    bool isRecording_ = false;
    QDateTime startedAt_;
    std::optional<std::filesystem::path> lastFile_;
    QString errorMessage_;
    // The errorMessage_ that said why the stream could not record, while that holds.
    QString refusal_;
    // Started here and not yet finished: its end report is the one that counts.
    std::optional<std::filesystem::path> activeFile_;
    std::vector<GuiTask<void>> finishWaiters_;
};

}  // namespace qm
