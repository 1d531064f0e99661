#include "ScratchFolder.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace qm {

namespace {

const QString prefix = QStringLiteral("Vantorel-settings-");

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error)).toLower();
}

FileDescriptor openFolder(const QByteArray& path) {
    return FileDescriptor(
        ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// A running app holds its folder locked: one that nobody holds is a killed run's. Only the
// user's own folders, never what a link leads to.
void removeLeftovers(const QString& place) {
    const QDir folder(place);
    for (const QString& name : folder.entryList({prefix + u'*'}, QDir::Dirs | QDir::NoSymLinks)) {
        const QString path = folder.filePath(name);
        const FileDescriptor lock = openFolder(QFile::encodeName(path));
        struct stat info {};
        if (lock && ::fstat(lock.get(), &info) == 0 && info.st_uid == ::geteuid() &&
            ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0) {
            QDir(path).removeRecursively();
        }
    }
}

}  // namespace

ScratchFolder::ScratchFolder(Made, QString path, FileDescriptor lock)
    : path_(std::move(path)), lock_(std::move(lock)) {}

ScratchFolder::~ScratchFolder() {
    QDir(path_).removeRecursively();  // still locked, so that no start takes it meanwhile
}

std::variant<std::unique_ptr<ScratchFolder>, ScratchFolder::Failure> ScratchFolder::make() {
    QStringList places;
    if (const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR"); !runtime.isEmpty()) {
        places.append(runtime);
    }
    // Empty when TMPDIR names no folder, which would mean the working folder.
    if (const QString temp = QDir::tempPath(); !temp.isEmpty()) {
        places.append(temp);  // where earlier versions kept it too
    }
    for (const QString& place : std::as_const(places)) {
        removeLeftovers(place);
    }
    std::optional<Failure> first;
    for (const QString& place : std::as_const(places)) {
        // Named as the others only once locked, so that no other start takes it for a leftover.
        QByteArray made =
            QFile::encodeName(QDir(place).filePath(u'.' + prefix + QStringLiteral("XXXXXX")));
        int error = 0;
        if (::mkdtemp(made.data()) == nullptr) {
            error = errno;
        } else {
            FileDescriptor lock = openFolder(made);
            const QByteArray named =
                QFile::encodeName(QDir(place).filePath(prefix + QFile::decodeName(made).right(6)));
            if (lock && ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0 &&
                ::rename(made.constData(), named.constData()) == 0) {
                return std::make_unique<ScratchFolder>(Made{}, QFile::decodeName(named),
                                                       std::move(lock));
            }
            error = errno;
            ::rmdir(made.constData());
        }
        if (!first) {
            first = Failure{place, systemReason(error)};
        }
    }
    return first.value_or(Failure{qEnvironmentVariable("TMPDIR"), systemReason(ENOENT)});
}

}  // namespace qm
