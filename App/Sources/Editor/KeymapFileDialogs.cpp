#include "KeymapFileDialogs.h"

#include <QFile>
#include <utility>

namespace qm {

void KeymapFileDialogs::chooseFileToOpen(Answer answer) {
    ask(Request::open, QString(), std::move(answer));
}

void KeymapFileDialogs::chooseFileToSave(const QString& proposedName, Answer answer) {
    ask(Request::save, proposedName, std::move(answer));
}

void KeymapFileDialogs::accept(const QUrl& file) {
    if (file.isLocalFile()) {
        finish(std::filesystem::path(QFile::encodeName(file.toLocalFile()).toStdString()));
    } else {
        finish(std::nullopt);
    }
}

void KeymapFileDialogs::reject() {
    finish(std::nullopt);
}

void KeymapFileDialogs::ask(Request request, QString proposedName, Answer answer) {
    finish(std::nullopt);
    request_ = request;
    proposedName_ = std::move(proposedName);
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
