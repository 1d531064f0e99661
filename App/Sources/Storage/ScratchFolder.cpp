#include "ScratchFolder.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include "QuillmereCore/AtomicFile.h"
#include "QuillmereCore/PrivateFolders.h"

namespace qm {

const QString ScratchFolder::copyName = QStringLiteral("Vantorel.ini");

namespace {

const QByteArray prefix = "Vantorel-settings-";
// mkdtemp's part of the name.
constexpr qsizetype uniqueLength = 6;

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error)).toLower();
}

FileDescriptor openFolderIn(int place, const char* name) {
    return FileDescriptor(::openat(place, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

std::vector<std::string> entriesOf(int folder) {
    std::vector<std::string> names;
    // A descriptor of its own: a listing moves the offset it reads from.
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!listing) {
        if (listed >= 0) {
            ::close(listed);
        }
        return names;
    }
    while (const dirent* entry = ::readdir(listing)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(listing);
    return names;
}

// The app writes no folders into its own: a few levels are all a leftover may hold.
void empty(int folder, int depth = 0) {
    for (const std::string& name : entriesOf(folder)) {
        if (const FileDescriptor inner = openFolderIn(folder, name.c_str()); inner && depth < 8) {
            empty(inner.get(), depth + 1);
            ::unlinkat(folder, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(folder, name.c_str(), 0);
        }
    }
}

// Empties the held folder, then takes its name away only while the name is still that folder's.
void removeHeld(int place, const QByteArray& name, int folder) {
    empty(folder);
    struct stat held {};
    struct stat named {};
    if (::fstat(folder, &held) == 0 &&
        ::fstatat(place, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        ::unlinkat(place, name.constData(), AT_REMOVEDIR);
    }
}

// A running app holds its folder locked: one that nobody holds is a killed run's. Only folders
// named as the app names them that are the user's own and private, never what a link leads to.
void removeLeftovers(int place) {
    for (const std::string& entry : entriesOf(place)) {
        const QByteArray name = QByteArray::fromStdString(entry);
        if (!name.startsWith(prefix) || name.size() != prefix.size() + uniqueLength) {
            continue;
        }
        const FileDescriptor folder = openFolderIn(place, name.constData());
        if (folder && isPrivateFolder(folder.get()) &&
            ::flock(folder.get(), LOCK_EX | LOCK_NB) == 0) {
            removeHeld(place, name, folder.get());
        }
    }
}

QString heldPath(int fd) {
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
}

}  // namespace

ScratchFolder::ScratchFolder(Made, FileDescriptor place, QByteArray name, FileDescriptor folder)
    : place_(std::move(place)), name_(std::move(name)), folder_(std::move(folder)) {}

ScratchFolder::~ScratchFolder() {
    removeHeld(place_.get(), name_, folder_.get());  // still locked: no start takes it meanwhile
}

QString ScratchFolder::path() const {
    return heldPath(folder_.get());
}

std::variant<std::unique_ptr<ScratchFolder>, ScratchFolder::Failure> ScratchFolder::make(
    const std::optional<Bytes>& copy) {
    QStringList places;
    // Another user's folder there could put that user's values into the person's settings.
    if (const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        isPrivateFolder(QFile::encodeName(runtime).toStdString())) {
        places.append(runtime);
    }
    // Empty when TMPDIR names no folder, which would mean the working folder.
    if (const QString temp = QDir::tempPath(); !temp.isEmpty()) {
        places.append(temp);  // where earlier versions kept it too
    }
    // Each place held open, or the system's word on why it cannot be.
    std::vector<std::pair<FileDescriptor, int>> held;
    for (const QString& place : std::as_const(places)) {
        FileDescriptor opened(
            ::open(QFile::encodeName(place).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        const int error = opened ? 0 : errno;
        if (opened) {
            removeLeftovers(opened.get());
        }
        held.emplace_back(std::move(opened), error);
    }
    std::optional<Failure> first;
    for (qsizetype i = 0; i < places.size(); ++i) {
        auto& [place, error] = held[std::size_t(i)];
        if (place) {
            auto made = makeIn(std::move(place), copy);
            if (auto* folder = std::get_if<std::unique_ptr<ScratchFolder>>(&made)) {
                return std::move(*folder);
            }
            error = std::get<int>(made);
        }
        if (!first) {
            first = Failure{places[i], systemReason(error)};
        }
    }
    return first.value_or(Failure{qEnvironmentVariable("TMPDIR"), systemReason(ENOENT)});
}

std::variant<std::unique_ptr<ScratchFolder>, int> ScratchFolder::makeIn(
    FileDescriptor place, const std::optional<Bytes>& copy) {
    // Named as the others only once locked, so that no other start takes it for a leftover.
    QByteArray made = QFile::encodeName(heldPath(place.get())) + "/." + prefix + "XXXXXX";
    if (::mkdtemp(made.data()) == nullptr) {
        return errno;
    }
    const QByteArray hidden = made.mid(made.lastIndexOf('/') + 1);
    const QByteArray named = prefix + made.right(uniqueLength);
    FileDescriptor folder = openFolderIn(place.get(), hidden.constData());
    if (!folder || ::flock(folder.get(), LOCK_EX | LOCK_NB) != 0 ||
        ::renameat(place.get(), hidden.constData(), place.get(), named.constData()) != 0) {
        const int error = errno;
        ::unlinkat(place.get(), hidden.constData(), AT_REMOVEDIR);
        return error;
    }
    try {
        if (copy) {
            AtomicFile::write(folder.get(), copyName.toStdString(), *copy, 0600);
        }
    } catch (const std::filesystem::filesystem_error& failure) {
        removeHeld(place.get(), named, folder.get());
        return failure.code().value();
    }
    return std::make_unique<ScratchFolder>(Made{}, std::move(place), named, std::move(folder));
}

}  // namespace qm
