#include "Recording/RecordingController.h"

#include <QDir>
#include <QPointer>
#include <QStandardPaths>
#include <QTimeZone>
#include <system_error>
#include <utility>
#include <vector>

#include <pwd.h>
#include <unistd.h>

#include "Desktop/ShownPath.h"
#include "QuillmereCore/Log.h"
#include "QuillmereKit/Session/RecordingFileNamer.h"
#include "Recorder/RecorderError.h"

namespace qm {

namespace fs = std::filesystem;

std::filesystem::path RecordingController::moviesDirectory() {
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (!videos.isEmpty()) {
        return videos.toStdString();
    }
    // The user database rather than $HOME, which a launcher may have changed.
    const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir) {
        return fs::path(found->pw_dir) / "Videos";
    }
    return fs::path(QDir::homePath().toStdString()) / "Videos";
}

RecordingController::RecordingController(std::filesystem::path movies, FileReveal reveal, Clock now,
                                         QObject* parent)
    : QObject(parent),
      moviesDirectory_(std::move(movies)),
      reveal_(std::move(reveal)),
      now_(std::move(now)) {}

QUrl RecordingController::lastFile() const {
    return lastFile_ ? QUrl::fromLocalFile(QString::fromStdString(lastFile_->string())) : QUrl();
}

QString RecordingController::lastFileName() const {
    return lastFile_ ? QString::fromStdString(lastFile_->filename().string()) : QString();
}

template <typename Edit>
void RecordingController::change(Edit&& edit) {
    const bool wasRecording = isRecording_;
    const QDateTime wasStartedAt = startedAt_;
    const bool wasFinishing = isFinishing();
    const std::optional<fs::path> wasLastFile = lastFile_;
    const QString wasErrorMessage = errorMessage_;
    edit();
    if (isRecording_ != wasRecording) {
        emit isRecordingChanged();
    }
    if (startedAt_ != wasStartedAt) {
        emit startedAtChanged();
    }
    if (isFinishing() != wasFinishing) {
        emit isFinishingChanged();
    }
    if (lastFile_ != wasLastFile) {
        emit lastFileChanged();
    }
    if (errorMessage_ != wasErrorMessage) {
        emit errorMessageChanged();
    }
    if (!activeFile_) {
        for (const GuiTask<void>& waiter : std::exchange(finishWaiters_, {})) {
            waiter.settle(TaskOutcome<void>());
        }
    }
}

void RecordingController::start(RecordingSession& session) {
    const fs::path url =
        RecordingFileNamer::fileURL(RecordingFileNamer::folder(moviesDirectory_), now_(),
                                    QTimeZone::systemTimeZone(), [](const fs::path& candidate) {
                                        // Whatever the name holds takes it, a dangling link
                                        // too: the file is never made through one.
                                        std::error_code error;
                                        return fs::exists(fs::symlink_status(candidate, error));
                                    });
    session.onRecordingEnded = [self =
                                    QPointer<RecordingController>(this)](const RecordingEnd& end) {
        if (self) {
            self->recordingEnded(end);
        }
    };
    try {
        session.startRecording(url);
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        Log::recorder().error("recording did not start: {}", describe(error));
        change([&] { errorMessage_ = startFailureMessage(error); });
        return;
    }
    recordingStarted(url);
}

GuiTask<void> RecordingController::stop(RecordingSession& session) {
    // The file stays awaited: if the session is already finishing it by itself, the stop gets
    // notRecording and the end report still to come carries the outcome.
    const std::optional<fs::path> stopped = activeFile_;
    change([&] {
        isRecording_ = false;
        startedAt_ = QDateTime();
    });
    GuiTask<void> stopping(this);
    fromCompletion<fs::path>(this, [&](Completion<fs::path> done) {
        session.stopRecording(done);
    }).then([this, stopped, stopping](const TaskOutcome<fs::path>& outcome) {
        finishStop(stopped, outcome);
        stopping.settle(TaskOutcome<void>());
    });
    return stopping;
}

void RecordingController::finishStop(const std::optional<fs::path>& stopped,
                                     const TaskOutcome<fs::path>& outcome) {
    std::exception_ptr error =
        outcome.isCancelled() ? std::make_exception_ptr(CancellationError()) : outcome.error();
    if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const RecordingError& notRecording) {
            if (notRecording.kind() == RecordingErrorKind::notRecording) {
                return;
            }
        } catch (...) {
        }
        Log::recorder().error("recording did not save: {}", describe(error));
    }
    change([&] {
        if (error) {
            errorMessage_ = saveFailureMessage(error);
        } else {
            lastFile_ = outcome.get();
        }
        if (activeFile_ == stopped) {
            activeFile_.reset();
        }
    });
}

void RecordingController::toggle(RecordingSession* session) {
    if (session == nullptr) {
        return;
    }
    if (isRecording_) {
        stop(*session);
    } else if (session->canRecord()) {
        start(*session);
    } else {
        change([&] { errorMessage_ = refusal_ = unavailableReason(*session); });
    }
}

QString RecordingController::unavailableReason(const RecordingSession& session) {
    if (session.canRecord()) {
        return {};
    }
    // Only the demo streams without a phone.
    return session.phase().kind() == SessionPhase::Kind::streaming
               ? tr("Recording needs a phone's stream: the demo cannot be recorded.")
               : tr("Recording starts once the stream plays.");
}

GuiTask<void> RecordingController::whenFinished() {
    GuiTask<void> finished(this);
    if (activeFile_) {
        finishWaiters_.push_back(finished);
    } else {
        finished.settle(TaskOutcome<void>());
    }
    return finished;
}

void RecordingController::recordingStarted(const fs::path& url) {
    change([&] {
        activeFile_ = url;
        isRecording_ = true;
        startedAt_ = now_();
        lastFile_.reset();
        errorMessage_.clear();
    });
}

void RecordingController::recordingEnded(const RecordingEnd& end) {
    if (activeFile_ != end.url) {
        return;
    }
    change([&] {
        activeFile_.reset();
        isRecording_ = false;
        startedAt_ = QDateTime();
        if (end.error) {
            errorMessage_ = saveFailureMessage(end.error);
        } else {
            lastFile_ = end.url;
        }
    });
}

void RecordingController::phaseChanged(bool streaming) {
    change([&] {
        if (!streaming) {
            isRecording_ = false;
            startedAt_ = QDateTime();
        }
        if (!refusal_.isEmpty() && errorMessage_ == refusal_) {
            errorMessage_.clear();
        }
        refusal_.clear();
    });
}

void RecordingController::revealLastFile() {
    if (!lastFile_) {
        return;
    }
    const QString folder = shownPath(QString::fromStdString(lastFile_->parent_path().string()));
    reveal_.reveal(QString::fromStdString(lastFile_->string()), [self = QPointer(this), folder] {
        if (self) {
            self->change([&] {
                self->errorMessage_ =
                    tr("No file manager could show the recording. It is in %1.").arg(folder);
            });
        }
    });
}

void RecordingController::dismissMessages() {
    change([&] {
        lastFile_.reset();
        errorMessage_.clear();
    });
}

QString RecordingController::startFailureMessage(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const RecordingError& failure) {
        if (failure.kind() == RecordingErrorKind::notStreaming) {
            return tr("The stream isn’t running.");
        }
        if (failure.kind() == RecordingErrorKind::alreadyRecording) {
            return tr("A recording is already in progress.");
        }
    } catch (...) {
    }
    return tr("Couldn’t start recording.");
}

QString RecordingController::saveFailureMessage(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const RecorderError& failure) {
        if (failure.kind() == RecorderErrorKind::noVideo) {
            return tr("Couldn’t save the recording: no video was captured.");
        }
        if (failure.kind() == RecorderErrorKind::fileRemoved) {
            return tr(
                "The recording was lost: its file was removed while recording, and it "
                "could not be written again.");
        }
    } catch (...) {
    }
    return tr("Couldn’t save the recording.");
}

}  // namespace qm
