// Export: the edited layouts to a file the user chose, and what is said when that fails.
#include <QFile>
#include <QPointer>
#include <cerrno>

#include "InputRouter/KeymapFile.h"
#include "InputRouter/ProfileCodec.h"
#include "KeymapController.h"
#include "QuillmereCore/AtomicFile.h"
#include "QuillmereCore/Log.h"
#include "QuillmereKit/Tasks/GuiTask.h"

namespace qm {

namespace {

// One line in the editor's banner: the path's start and its end, the file's name.
QString elided(const QString& path) {
    constexpr qsizetype head = 16;
    constexpr qsizetype tail = 40;
    if (path.size() <= head + 1 + tail) {
        return path;
    }
    return path.left(head) + u'…' + path.right(tail);
}

QString reason(const std::error_code& code) {
    switch (code.value()) {
        case EACCES:
        case EPERM:
            return KeymapController::tr("you may not write in that folder");
        case ENOENT:
        case ENOTDIR:
            return KeymapController::tr("that folder does not exist");
        case ENAMETOOLONG:
            return KeymapController::tr("the name is too long");
        case ENOSPC:
        case EDQUOT:
            return KeymapController::tr("the disk is full");
        case EROFS:
            return KeymapController::tr("the disk is read-only");
        case EISDIR:
            return KeymapController::tr("a folder has that name");
        default:
            return QString::fromStdString(code.message()).toLower();
    }
}

}  // namespace

QString KeymapController::describeExportFailure(const std::error_code& code,
                                                const std::filesystem::path& file) {
    return tr("The layouts could not be exported to %1: %2.")
        .arg(elided(QFile::decodeName(file.c_str())), reason(code));
}

void KeymapController::exportProfile() {
    if (!editor_) {
        return;
    }
    const QString name = package_ || streamName_.isEmpty()
                             ? QString::fromStdString(editor_->packageName())
                             : streamName_;
    chooser_.chooseFileToSave(name + QStringLiteral(".json"), exportAnswer());
}

KeymapFileChooser::SaveAnswer KeymapController::exportAnswer() {
    return [self = QPointer(this), session = session_](auto target) {
        if (self && target && self->editor_ && self->session_ == session) {
            self->exportTo(*target);
        }
    };
}

void KeymapController::exportTo(const KeymapFileChooser::SaveTarget& target) {
    Bytes data;
    try {
        data = ProfileCodec::encode(editor_->keymaps());
    } catch (const std::exception& error) {
        showFailure("export", error);
        return;
    }
    // Only a replacement the user agreed to takes the place of what is at the name.
    runOnWorker(this, [target, data = std::move(data)] {
        AtomicFile::write(
            target.file, data, KeymapFile::mode,
            target.replace ? AtomicFile::Existing::replace : AtomicFile::Existing::keep);
    }).then([this, session = session_, target](const TaskOutcome<void>& outcome) {
        if (session != session_ || outcome.isCancelled()) {
            return;
        }
        try {
            outcome.get();
        } catch (const std::filesystem::filesystem_error& error) {
            if (error.code() == std::errc::file_exists && !target.replace) {
                // It came after the dialog looked.
                chooser_.askToReplace(target.file, exportAnswer());
                return;
            }
            Log::input().error("profile export failed: {}", error.what());
            setErrorMessage(describeExportFailure(error.code(), target.file));
            exportFailure_ = errorMessage_;
            return;
        } catch (const std::exception& error) {
            showFailure("export", error);
            exportFailure_ = errorMessage_;
            return;
        }
        // Done: an earlier export's failure and a question are past; a failed save still stands.
        if (errorMessage_ && errorMessage_ == exportFailure_) {
            setErrorMessage(std::nullopt);
        }
        setNotice(std::nullopt);
    });
}

}  // namespace qm
