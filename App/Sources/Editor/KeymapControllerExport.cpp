// Export: the edited layouts to a file the user chose, and what is said when an import or an
// export fails.
#include <QFile>
#include <QPointer>
#include <cerrno>

#include "InputRouter/KeymapFile.h"
#include "InputRouter/ProfileCodec.h"
#include "KeymapController.h"
#include "QuillmereCore/AtomicFile.h"
#include "QuillmereCore/Log.h"
#include "QuillmereCore/UnicodeText.h"
#include "QuillmereKit/Tasks/GuiTask.h"

namespace qm {

namespace {

// One line in the editor's banner: the path's start and its end, the file's name, as one run.
QString elided(const QString& path) {
    constexpr qsizetype head = 16;
    constexpr qsizetype tail = 40;
    const QString cut =
        path.size() <= head + 1 + tail ? path : path.left(head) + u'…' + path.right(tail);
    return QString::fromStdString(UnicodeText::excerpt(cut.toStdString(), head + 1 + tail));
}

QString reason(KeymapController::FileWork work, const std::error_code& code) {
    const bool reading = work == KeymapController::FileWork::importing;
    switch (code.value()) {
        case EACCES:
        case EPERM:
            return reading ? KeymapController::tr("you may not read that file")
                           : KeymapController::tr("you may not write in that folder");
        case ENOENT:
        case ENOTDIR:
            return reading ? KeymapController::tr("there is no such file")
                           : KeymapController::tr("that folder does not exist");
        case EISDIR:
            return reading ? KeymapController::tr("that is a folder")
                           : KeymapController::tr("a folder has that name");
        case EEXIST:  // only a folder on the way can be taken: a file at the name is asked about
            return KeymapController::tr("a file stands where its folder goes");
        case ENAMETOOLONG:
            return KeymapController::tr("the name is too long");
        case ENOSPC:
        case EDQUOT:
            return KeymapController::tr("the disk is full");
        case EROFS:
            return KeymapController::tr("the disk is read-only");
        case EFBIG:
            return KeymapController::tr("the file is larger than %1 MiB")
                .arg(KeymapFile::maxSize >> 20);
        case ELOOP:
            return KeymapController::tr("its links lead round in a circle");
        default:
            break;
    }
    // What a read refuses besides a folder: a FIFO, a device, a socket.
    if (reading && code == std::errc::invalid_argument) {
        return KeymapController::tr("that is not an ordinary file");
    }
    return QString::fromStdString(code.message()).toLower();
}

}  // namespace

QString KeymapController::describeFileFailure(FileWork work, const std::error_code& code,
                                              const std::filesystem::path& file) {
    const QString path = elided(QFile::decodeName(file.c_str()));
    return (work == FileWork::importing ? tr("The layouts could not be imported from %1: %2.")
                                        : tr("The layouts could not be exported to %1: %2."))
        .arg(path, reason(work, code));
}

QString KeymapController::describeSaveFailure(const std::error_code& code) {
    return tr("The layout could not be saved: %1.").arg(reason(FileWork::exporting, code));
}

void KeymapController::exportProfile() {
    if (!editor_) {
        return;
    }
    // Without a game, the keymaps' package name is the template's "unknown".
    chooser_.chooseFileToSave(
        QString::fromStdString(editor_->packageName()) + QStringLiteral(".json"), exportAnswer());
}

KeymapFileChooser::SaveAnswer KeymapController::exportAnswer() {
    return [self = QPointer(this), session = session_](auto target) {
        if (self && target && self->editor_ && self->session_ == session) {
            self->exportTo(*target);
        }
    };
}

void KeymapController::exportTo(const KeymapFileChooser::SaveTarget& target) {
    GameKeymaps keymaps = editor_->keymaps();
    Bytes data;
    try {
        data = ProfileCodec::encode(keymaps);
    } catch (const std::exception& error) {
        showFailure("export", error);
        return;
    }
    // Only a replacement the user agreed to takes the place of what is at the name.
    runOnWorker(this, [target, data = std::move(data)] {
        AtomicFile::write(
            target.file, data, KeymapFile::mode,
            target.replace ? AtomicFile::Existing::replace : AtomicFile::Existing::keep);
    }).then([this, session = session_, target, keymaps](const auto& outcome) {
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
            setErrorMessage(describeFileFailure(FileWork::exporting, error.code(), target.file));
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
        if (!package_) {
            exported_ = keymaps;
        }
        setNotice(std::nullopt);
    });
}

}  // namespace qm
