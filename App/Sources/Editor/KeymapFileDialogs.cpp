#include "KeymapFileDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <system_error>
#include <utility>

#include "QuillmereCore/UnicodeText.h"
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

// Anything at the path, a link included, whether or not it leads anywhere.
bool isTaken(const QString& path) {
    // A name the system cannot look up (too long, say) counts as free: the write then says why.
    std::error_code ignored;
    return std::filesystem::exists(
        std::filesystem::symlink_status(QFile::encodeName(path).toStdString(), ignored));
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
    return {QFileInfo(path).isDir() ? Found::Kind::folder
            : isTaken(path)         ? Found::Kind::file
                                    : Found::Kind::nothing,
            path};
}

// The bidirectional controls, which show a name in another order than it has.
bool reordersText(char32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

// Why a name to save to would mislead whoever reads it in a list or a terminal; empty when it
// would not.
QString unsafeNameReason(const QString& name) {
    const auto code = [](char32_t c) {
        return QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
    };
    for (const char32_t c : name.toUcs4()) {
        if (UnicodeText::isLineBreak(c)) {
            return KeymapFileDialogs::tr("A file name cannot hold a line break.");
        }
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            return KeymapFileDialogs::tr("A file name cannot hold a control character (%1).")
                .arg(code(c));
        }
        if (reordersText(c)) {
            return KeymapFileDialogs::tr(
                       "A file name cannot hold a mark that changes the order of its text (%1).")
                .arg(code(c));
        }
    }
    return {};
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
        .arg(file.fileName(), QDir::toNativeSeparators(file.path()));
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
    emit requestChanged();
    if (answer) {
        answer(file ? std::optional(SaveTarget{QFile::encodeName(*file).toStdString(), replace})
                    : std::nullopt);
    }
}

void KeymapFileDialogs::setFolder(const QString& folder) {
    if (folder != folder_) {
        folder_ = folder;
        emit folderChanged();
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
