#include "Storage/SettingsFile.h"

#include <QFile>
#include <QFileInfo>
#include <array>
#include <cerrno>
#include <filesystem>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "QuillmereCore/AtomicFile.h"
#include "QuillmereCore/FileDescriptor.h"

namespace qm {

namespace {

QString readLink(const QByteArray& name) {
    std::array<char, PATH_MAX> text{};
    const ssize_t length = ::readlink(name.constData(), text.data(), text.size());
    return length > 0 ? QFile::decodeName(QByteArray(text.data(), qsizetype(length))) : QString();
}

}  // namespace

SettingsFile SettingsFile::look(const QString& file) {
    SettingsFile look;
    const QByteArray name = QFile::encodeName(file);
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0) {
        // Nothing there yet: the first save makes it.
        look.kind = errno == ENOENT || errno == ENOTDIR ? Kind::usable : Kind::unreadable;
        look.target = look.kind == Kind::usable ? file : QString();
        return look;
    }
    QString target = file;
    if (S_ISLNK(info.st_mode)) {
        struct stat pointed {};
        target = QFileInfo(file).canonicalFilePath();
        if (target.isEmpty() || ::stat(name.constData(), &pointed) != 0 ||
            !S_ISREG(pointed.st_mode) || pointed.st_uid != ::geteuid()) {
            look.kind = Kind::link;
            look.linkText = readLink(name);
            return look;
        }
    } else if (!S_ISREG(info.st_mode)) {
        look.kind = Kind::other;
        return look;
    }
    // Not through a link: one put at the resolved place since is refused.
    const FileDescriptor fd(::open(QFile::encodeName(target).constData(),
                                   O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    struct stat opened {};
    look.kind = Kind::unreadable;
    if (!fd || ::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) {
        return look;
    }
    try {
        look.contents =
            AtomicFile::read(fd.get(), maxSize, QFile::encodeName(target).toStdString());
    } catch (const std::filesystem::filesystem_error&) {
        return look;
    }
    look.kind = Kind::usable;
    look.target = target;
    look.mode = opened.st_mode & 07777;
    return look;
}

}  // namespace qm
