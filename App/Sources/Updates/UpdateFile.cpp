#include "Updates/UpdateFile.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sodium.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "QuillmereCore/FileDescriptor.h"
#include "Updates/UpdateError.h"

namespace qm::UpdateFile {

namespace {

constexpr QLatin1StringView temporaryPrefix(".vantorel-update-");

// Room for " (999)" within the 255 bytes a file name may have.
constexpr qsizetype maxNameLength = 200;
constexpr int maxNumber = 999;

QString safeName(const QString& text) {
    QString name = text;
    for (QChar& c : name) {
        const char16_t u = c.unicode();
        const bool allowed = (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') ||
                             (u >= u'0' && u <= u'9') || u == u'.' || u == u'_' || u == u'+' ||
                             u == u'-';
        if (!allowed) {
            c = u'_';
        }
    }
    // The end keeps the extension a package manager goes by.
    name = name.right(maxNameLength);
    const auto firstKept =
        std::find_if(name.begin(), name.end(), [](QChar c) { return c != u'.'; });
    return name.mid(firstKept - name.begin());
}

// Before the extension, which a package manager goes by; a version's last part is none.
QString numbered(const QString& name, int number) {
    const qsizetype dot = name.lastIndexOf(u'.');
    const bool extension = dot > 0 && dot + 1 < name.size() && name[dot + 1].isLetter();
    const QString suffix = QStringLiteral(" (%1)").arg(number);
    return extension ? name.left(dot) + suffix + name.mid(dot) : name + suffix;
}

// Answers errno: 0 once moved, EEXIST when the name is taken.
int moveWithoutReplacing(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // File systems without the flag (NFS among them) still refuse a link over an existing name.
    if (::link(from.constData(), to.constData()) != 0) {
        return errno;
    }
    ::unlink(from.constData());
    return 0;
}

}  // namespace

QByteArray versionMessage(const QString& version, QByteArrayView sha256) {
    return "vantorel-update " + version.toUtf8() + ' ' + sha256.toByteArray().toHex();
}

bool verify(const QString& file, const UpdateOffer& offer, const QByteArray& publicKey) {
    static const bool sodiumReady = sodium_init() >= 0;
    const auto signedBy = [&](const QByteArray& signature, const unsigned char* message,
                              std::size_t size) {
        return signature.size() == crypto_sign_BYTES &&
               crypto_sign_verify_detached(
                   reinterpret_cast<const unsigned char*>(signature.constData()), message, size,
                   reinterpret_cast<const unsigned char*>(publicKey.constData())) == 0;
    };
    if (!sodiumReady || publicKey.size() != crypto_sign_PUBLICKEYBYTES) {
        return false;
    }
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly)) {
        throw UpdateError::notSaved(input.errorString());
    }
    const qint64 size = input.size();
    static const unsigned char nothing = 0;
    const unsigned char* bytes = &nothing;
    if (size > 0) {
        bytes = input.map(0, size);
        if (!bytes) {
            throw UpdateError::notSaved(input.errorString());
        }
        ::madvise(const_cast<unsigned char*>(bytes), static_cast<std::size_t>(size),
                  MADV_SEQUENTIAL);
    }
    // The whole message at once: the streaming API checks the pre-hashed variant, another
    // signature than the one updates carry.
    if (!signedBy(offer.signature, bytes, static_cast<std::size_t>(size))) {
        return false;
    }
    QByteArray digest(crypto_hash_sha256_BYTES, Qt::Uninitialized);
    crypto_hash_sha256(reinterpret_cast<unsigned char*>(digest.data()), bytes,
                       static_cast<unsigned long long>(size));
    const QByteArray message = versionMessage(offer.versionText, digest);
    return signedBy(offer.versionSignature,
                    reinterpret_cast<const unsigned char*>(message.constData()),
                    static_cast<std::size_t>(message.size()));
}

QString saveName(const QUrl& url, const QString& displayVersion) {
    const QString name = safeName(url.fileName());
    return name.isEmpty() ? safeName(QStringLiteral("Vantorel-") + displayVersion) : name;
}

QString temporaryPattern(const QString& folder) {
    return QDir(folder).filePath(temporaryPrefix + QLatin1StringView("XXXXXX"));
}

void claim(int file) {
    // Without the lock, which a file system may not offer, the file is only at risk from a start
    // during the download.
    ::flock(file, LOCK_EX | LOCK_NB);
}

void removeLeftovers(const QString& folder) {
    const QDir files(folder);
    // Every kind of entry: what an entry is counts only once it is open, as it may change
    // in between.
    const QStringList names = files.entryList(
        {temporaryPrefix + u'*'}, QDir::Files | QDir::System | QDir::Hidden | QDir::NoSymLinks);
    for (const QString& name : names) {
        const QByteArray path = QFile::encodeName(files.filePath(name));
        // Without O_NONBLOCK a FIFO would hold the worker until someone writes to it.
        const FileDescriptor file(
            ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat locked {};
        if (!file || ::fstat(file.get(), &locked) != 0 || !S_ISREG(locked.st_mode) ||
            ::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
            continue;
        }
        // The name may have been given to another entry since it was opened.
        struct stat named {};
        if (::lstat(path.constData(), &named) == 0 && named.st_dev == locked.st_dev &&
            named.st_ino == locked.st_ino) {
            ::unlink(path.constData());
        }
    }
}

QString place(const QString& file, const QString& folder, const QString& name) {
    const QByteArray from = QFile::encodeName(file);
    const QDir target(folder);
    for (int number = 1; number <= maxNumber; ++number) {
        const QString path = target.filePath(number == 1 ? name : numbered(name, number));
        const int error = moveWithoutReplacing(from, QFile::encodeName(path));
        if (error == 0) {
            return path;
        }
        if (error != EEXIST) {
            throw UpdateError::notSaved(QString::fromLocal8Bit(std::strerror(error)));
        }
    }
    throw UpdateError::notSaved(QStringLiteral("%1 names are taken").arg(maxNumber));
}

}  // namespace qm::UpdateFile
