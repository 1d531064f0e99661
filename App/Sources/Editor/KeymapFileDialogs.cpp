#include "KeymapFileDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <utility>

namespace qm {

namespace {

QUrl startFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QUrl::fromLocalFile(QFileInfo(documents).isDir() ? documents : QDir::homePath());
}

// The local path the dialog means. Qt's own dialog gives what the user typed as a bare path
// joined to the folder it shows, also when a whole path was typed.
std::optional<QString> localPath(const QUrl& file, const QUrl& shownFolder) {
    if (file.isLocalFile()) {
        return QDir::cleanPath(file.toLocalFile());
    }
    const QString path = file.path(QUrl::FullyDecoded);
    if (!file.scheme().isEmpty() || !QDir::isAbsolutePath(path)) {
        return std::nullopt;
    }
    const QString folder = shownFolder.toLocalFile() + u'/';
    if (shownFolder.isLocalFile() && path.startsWith(folder) &&
        QDir::isAbsolutePath(path.mid(folder.size()))) {
        return QDir::cleanPath(path.mid(folder.size()));
    }
    return QDir::cleanPath(path);
}

}  // namespace

void KeymapFileDialogs::chooseFileToOpen(Answer answer) {
    ask(Request::open, QString(), std::move(answer));
}

void KeymapFileDialogs::chooseFileToSave(const QString& proposedName, Answer answer) {
    ask(Request::save, proposedName, std::move(answer));
}

void KeymapFileDialogs::accept(const QUrl& file, const QUrl& shownFolder) {
    std::optional<QString> path = localPath(file, shownFolder);
    if (!path) {
        finish(std::nullopt);
        return;
    }
    if (request_ == Request::save && QFileInfo(*path).suffix().isEmpty()) {
        *path += QStringLiteral(".json");
    }
    finish(std::filesystem::path(QFile::encodeName(*path).toStdString()));
}

void KeymapFileDialogs::reject() {
    finish(std::nullopt);
}

void KeymapFileDialogs::ask(Request request, QString proposedName, Answer answer) {
    finish(std::nullopt);
    request_ = request;
    proposedName_ = std::move(proposedName);
    folder_ = startFolder();
    answer_ = std::move(answer);
    emit requestChanged();
}

void KeymapFileDialogs::finish(std::optional<std::filesystem::path> file) {
    if (request_ == Request::none) {
        return;
    }
    request_ = Request::none;
    proposedName_.clear();
    Answer answer = std::exchange(answer_, nullptr);
    emit requestChanged();
    if (answer) {
        answer(std::move(file));
    }
}

}  // namespace qm
