#include "KeymapFileDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <utility>

#include "QuillmereKit/Tasks/GuiTask.h"

namespace qm {

namespace {

QString startFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

// What a name stands for once the disk was looked at.
struct Found {
    enum class Kind { folder, file, nothing } kind;
    QString path;
};

// A folder opens as it is named; a file to save is named with its extension.
Found look(const QString& named, bool saving) {
    if (QFileInfo(named).isDir()) {
        return {Found::Kind::folder, named};
    }
    QString path = named;
    if (saving && QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".json");
    }
    const QFileInfo info(path);
    return {info.isDir()    ? Found::Kind::folder
            : info.exists() ? Found::Kind::file
                            : Found::Kind::nothing,
            path};
}

}  // namespace

void KeymapFileDialogs::setName(const QString& name) {
    if (name != name_) {
        name_ = name;
        emit nameChanged();
    }
}

QString KeymapFileDialogs::replaceQuestion() const {
    if (!replacing_) {
        return {};
    }
    const QFileInfo file(*replacing_);
    return tr("“%1” already exists in %2. Replacing it overwrites what it holds.")
        .arg(file.fileName(), QDir::toNativeSeparators(file.path()));
}

void KeymapFileDialogs::chooseFileToOpen(Answer answer) {
    ask(Request::open, QString(), std::move(answer));
}

void KeymapFileDialogs::chooseFileToSave(const QString& proposedName, Answer answer) {
    ask(Request::save, proposedName, std::move(answer));
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
        } else {
            finish(found.path);
        }
    });
}

void KeymapFileDialogs::replace() {
    if (replacing_) {
        finish(*replacing_);
    }
}

void KeymapFileDialogs::keep() {
    setReplacing(std::nullopt);
}

void KeymapFileDialogs::reject() {
    finish(std::nullopt);
}

void KeymapFileDialogs::ask(Request request, const QString& proposedName, Answer answer) {
    finish(std::nullopt);
    ++asked_;
    request_ = request;
    proposedName_ = proposedName;
    answer_ = std::move(answer);
    setFolder(startFolder());
    setName(proposedName);
    emit requestChanged();
}

void KeymapFileDialogs::finish(std::optional<QString> file) {
    if (request_ == Request::none) {
        return;
    }
    ++asked_;
    request_ = Request::none;
    proposedName_.clear();
    setReplacing(std::nullopt);
    Answer answer = std::exchange(answer_, nullptr);
    emit requestChanged();
    if (answer) {
        answer(file ? std::optional(std::filesystem::path(QFile::encodeName(*file).toStdString()))
                    : std::nullopt);
    }
}

void KeymapFileDialogs::setFolder(const QString& folder) {
    if (folder != folder_) {
        folder_ = folder;
        emit folderChanged();
    }
}

void KeymapFileDialogs::setReplacing(std::optional<QString> file) {
    if (file != replacing_) {
        replacing_ = std::move(file);
        emit replaceQuestionChanged();
    }
}

}  // namespace qm
