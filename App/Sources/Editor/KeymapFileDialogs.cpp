#include "KeymapFileDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <system_error>
#include <utility>

#include <unistd.h>

#include "NameRefusal.h"
#include "QuillmereCore/UnicodeText.h"
#include "QuillmereKit/Tasks/GuiTask.h"

namespace qm {

namespace {

// The folder of the last file chosen in any stream window, for as long as the app runs, as
// desktop dialogs remember it.
QString& lastFolder() {
    static QString folder;
    return folder;
}

QString startFolder() {
    if (!lastFolder().isEmpty() && QFileInfo(lastFolder()).isDir()) {
        return lastFolder();
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

// What a name stands for once the disk was looked at.
// `unknown`: the system would not say (a name too long, a folder that may not be read); the
// read or the write then says why.
struct Found {
    enum class Kind { folder, file, nothing, unknown } kind;
    QString path;
};

// Anything at the path, a link included, whether or not it leads anywhere.
Found::Kind kindAt(const QString& path) {
    std::error_code ignored;
    const auto status =
        std::filesystem::symlink_status(QFile::encodeName(path).toStdString(), ignored);
    if (status.type() == std::filesystem::file_type::not_found) {
        return Found::Kind::nothing;
    }
    return std::filesystem::exists(status) ? Found::Kind::file : Found::Kind::unknown;
}

// A folder opens as it is named; a file to save is named with its extension.
Found look(const QString& named, bool saving) {
    if (QFileInfo(named).isDir()) {
        return {Found::Kind::folder, named};
    }
    QString path = named;
    if (saving && QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".json");
    }
    return {QFileInfo(path).isDir() ? Found::Kind::folder : kindAt(path), path};
}

// Why a folder cannot be listed; empty when it can.
QString folderProblemOf(const QString& folder) {
    if (::access(QFile::encodeName(folder).constData(), R_OK | X_OK) == 0) {
        return {};
    }
    const int error = errno;
    switch (error) {
        case EACCES:
        case EPERM:
            return KeymapFileDialogs::tr("You may not read this folder.");
        case ENOENT:
        case ENOTDIR:
            return KeymapFileDialogs::tr("This folder does not exist.");
        default:
            return KeymapFileDialogs::tr("This folder cannot be read: %1.")
                .arg(QString::fromStdString(std::generic_category().message(error)).toLower());
    }
}

// Why a name to save to would mislead whoever reads it in a list or a terminal; empty when it
// would not.
QString unsafeNameReason(const QString& name) {
    const QString character = NameRefusal::hiddenCharacter(name);
    return character.isEmpty()
               ? QString()
               : KeymapFileDialogs::tr("A file name cannot hold %1.").arg(character);
}

// A name from the disk as the dialog shows it: hidden characters escaped, one run in any text.
QString shownFileName(const QString& name) {
    constexpr std::size_t longestName = 4096;  // a whole path
    return QString::fromStdString(UnicodeText::excerpt(name.toStdString(), longestName));
}

}  // namespace

void KeymapFileDialogs::setName(const QString& name) {
    if (name != name_) {
        name_ = name;
        setRefusal({});
        emit nameChanged();
    }
}

QString KeymapFileDialogs::replaceQuestion() const {
    if (!replacing_) {
        return {};
    }
    const QFileInfo file(*replacing_);
    return tr("“%1” already exists in %2. Replacing it overwrites what it holds.")
        .arg(shownFileName(file.fileName()), shownFileName(QDir::toNativeSeparators(file.path())));
}

QString KeymapFileDialogs::entryText(const QString& fileName, bool isFolder) {
    return isFolder ? shownFileName(fileName) + u'/' : shownFileName(fileName);
}

void KeymapFileDialogs::chooseFileToOpen(Answer answer) {
    ask(Request::open, QString(), [answer = std::move(answer)](std::optional<SaveTarget> target) {
        answer(target ? std::optional(target->file) : std::nullopt);
    });
}

void KeymapFileDialogs::chooseFileToSave(const QString& proposedName, SaveAnswer answer) {
    ask(Request::save, proposedName, std::move(answer));
}

void KeymapFileDialogs::askToReplace(const std::filesystem::path& file, SaveAnswer answer) {
    const QFileInfo info(QFile::decodeName(file.c_str()));
    ask(Request::save, info.fileName(), std::move(answer));
    setFolder(info.path());
    setReplacing(info.filePath());
}

void KeymapFileDialogs::openFolder(const QUrl& folder) {
    if (request_ != Request::none && folder.isLocalFile()) {
        setFolder(QDir::cleanPath(folder.toLocalFile()));
    }
}

void KeymapFileDialogs::openParentFolder() {
    if (request_ != Request::none) {
        setFolder(QDir::cleanPath(folder_ + QStringLiteral("/..")));
    }
}

void KeymapFileDialogs::accept() {
    const QString typed = name_.trimmed();
    if (request_ == Request::none || replacing_ || typed.isEmpty()) {
        return;
    }
    if (request_ == Request::save) {
        setRefusal(unsafeNameReason(typed));
        if (!refusal_.isEmpty()) {
            return;
        }
    }
    QString path = typed;
    if (path == u'~' || path.startsWith(QStringLiteral("~/"))) {
        path = QDir::homePath() + path.mid(1);
    }
    path = QDir::cleanPath(QDir(folder_).absoluteFilePath(path));
    runOnWorker(this, [path, saving = request_ == Request::save] {
        return look(path, saving);
    }).then([this, asked = asked_](const TaskOutcome<Found>& outcome) {
        if (asked != asked_ || !outcome.hasValue()) {
            return;
        }
        const Found& found = outcome.get();
        if (found.kind == Found::Kind::folder) {
            setFolder(found.path);
            setName(proposedName_);
        } else if (found.kind == Found::Kind::file && request_ == Request::save) {
            setReplacing(found.path);
        } else if (found.kind == Found::Kind::nothing && request_ == Request::open) {
            // The dialog stays for the name that was meant.
            const QFileInfo missing(found.path);
            setRefusal(tr("“%1” does not exist in %2.")
                           .arg(missing.fileName(), QDir::toNativeSeparators(missing.path())));
        } else {
            finish(found.path);
        }
    });
}

void KeymapFileDialogs::replace() {
    if (replacing_) {
        finish(*replacing_, true);
    }
}

void KeymapFileDialogs::keep() {
    setReplacing(std::nullopt);
}

void KeymapFileDialogs::reject() {
    finish(std::nullopt);
}

void KeymapFileDialogs::ask(Request request, const QString& proposedName, SaveAnswer answer) {
    finish(std::nullopt);
    ++asked_;
    request_ = request;
    proposedName_ = proposedName;
    answer_ = std::move(answer);
    setFolder(startFolder());
    setName(proposedName);
    emit requestChanged();
}

void KeymapFileDialogs::finish(std::optional<QString> file, bool replace) {
    if (request_ == Request::none) {
        return;
    }
    ++asked_;
    request_ = Request::none;
    proposedName_.clear();
    setReplacing(std::nullopt);
    setRefusal({});
    SaveAnswer answer = std::exchange(answer_, nullptr);
    if (file) {
        lastFolder() = QFileInfo(*file).path();
    }
    emit requestChanged();
    if (answer) {
        answer(file ? std::optional(SaveTarget{QFile::encodeName(*file).toStdString(), replace})
                    : std::nullopt);
    }
}

void KeymapFileDialogs::setFolder(const QString& folder) {
    if (folder == folder_) {
        return;
    }
    folder_ = folder;
    setFolderProblem({});
    emit folderChanged();
    runOnWorker(this, [folder] {
        return folderProblemOf(folder);
    }).then([this, folder](const TaskOutcome<QString>& outcome) {
        if (folder == folder_ && outcome.hasValue()) {
            setFolderProblem(outcome.get());
        }
    });
}

void KeymapFileDialogs::setFolderProblem(const QString& problem) {
    if (problem != folderProblem_) {
        folderProblem_ = problem;
        emit folderProblemChanged();
    }
}

void KeymapFileDialogs::setRefusal(const QString& refusal) {
    if (refusal != refusal_) {
        refusal_ = refusal;
        emit refusalChanged();
    }
}

void KeymapFileDialogs::setReplacing(std::optional<QString> file) {
    if (file != replacing_) {
        replacing_ = std::move(file);
        emit replaceQuestionChanged();
    }
}

}  // namespace qm
