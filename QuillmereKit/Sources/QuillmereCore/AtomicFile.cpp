#include "QuillmereCore/AtomicFile.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "QuillmereCore/FileDescriptor.h"

namespace qm::AtomicFile {

namespace {

[[noreturn]] void fail(const char* what, const std::filesystem::path& file, int error) {
    throw std::filesystem::filesystem_error(what, file,
                                            std::error_code(error, std::generic_category()));
}

// 0 or the errno of the failed write.
int writeAll(int fd, ByteView bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : EIO;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// A new file of its own in `folder`, created 0600: an existing name, a link among them, is never
// opened. Its name is hidden and as long whatever the file's, so that any name the folder takes
// can be written. Invalid with errno set when none can be made.
FileDescriptor createTemporary(int folder, std::string& temporary) {
    static constexpr std::string_view letters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::array<unsigned char, 12> random{};
        if (::getrandom(random.data(), random.size(), 0) != ssize_t(random.size())) {
            return FileDescriptor();
        }
        // Built up by appending: GCC 12 at -O2 reads `temporary = "."` as an overlapping copy.
        temporary.clear();
        temporary += '.';
        for (const unsigned char byte : random) {
            temporary += letters[byte % letters.size()];
        }
        temporary += ".tmp";
        FileDescriptor fd(::openat(folder, temporary.c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd || errno != EEXIST) {
            return fd;
        }
    }
    return FileDescriptor();
}

// Puts the temporary file at `name`; 0 or the errno. A link at `name` is replaced itself, never
// followed; kept, anything there fails with EEXIST.
int publish(int folder, const std::string& temporary, const std::string& name, Existing existing) {
    if (existing == Existing::replace) {
        return ::renameat(folder, temporary.c_str(), folder, name.c_str()) == 0 ? 0 : errno;
    }
    if (::renameat2(folder, temporary.c_str(), folder, name.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system that cannot rename without replacing can still link a new name.
    if (::linkat(folder, temporary.c_str(), folder, name.c_str(), 0) != 0) {
        return errno;
    }
    ::unlinkat(folder, temporary.c_str(), 0);
    return 0;
}

void writeIn(int folder, const std::string& name, ByteView bytes, mode_t mode,
             const std::filesystem::path& shown, Existing existing) {
    std::string temporary;
    FileDescriptor fd = createTemporary(folder, temporary);
    if (!fd) {
        fail("cannot create a temporary file", shown, errno);
    }
    int error = ::fchmod(fd.get(), mode) == 0 ? 0 : errno;
    if (error == 0) {
        error = writeAll(fd.get(), bytes);
    }
    if (error == 0 && ::fsync(fd.get()) != 0) {
        error = errno;
    }
    if (error == 0 && !fd.close()) {
        error = errno;
    }
    if (error == 0) {
        error = publish(folder, temporary, name, existing);
    }
    if (error != 0) {
        ::unlinkat(folder, temporary.c_str(), 0);
        fail("cannot write", shown, error);
    }
    // Makes the rename itself durable. The new file is in place already, so a failure here is no
    // reason to report the write as failed.
    ::fsync(folder);
}

}  // namespace

namespace {

// Non-blocking so that opening a FIFO returns at once; it is refused when read.
constexpr int readFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

std::optional<Bytes> readOpened(const FileDescriptor& fd, std::size_t maxSize,
                                const std::filesystem::path& shown) {
    if (!fd) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::nullopt;
        }
        fail("cannot open", shown, errno);
    }
    return read(fd.get(), maxSize, shown);
}

}  // namespace

std::optional<Bytes> read(const std::filesystem::path& file, std::size_t maxSize) {
    return readOpened(FileDescriptor(::open(file.c_str(), readFlags)), maxSize, file);
}

std::optional<Bytes> read(int folder, const std::string& name, std::size_t maxSize) {
    return readOpened(FileDescriptor(::openat(folder, name.c_str(), readFlags | O_NOFOLLOW)),
                      maxSize, name);
}

Bytes read(int file, std::size_t maxSize, const std::filesystem::path& shown) {
    struct stat info {};
    if (::fstat(file, &info) != 0) {
        fail("cannot read", shown, errno);
    }
    if (!S_ISREG(info.st_mode)) {
        fail("not a regular file", shown, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    }
    if (static_cast<std::uintmax_t>(info.st_size) > maxSize) {
        fail("file too large", shown, EFBIG);
    }
    Bytes contents(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = ::read(file, contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            fail("cannot read", shown, errno);
        }
        if (n == 0) {
            contents.resize(done);  // cut short since fstat
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return contents;
}

void write(const std::filesystem::path& file, ByteView bytes, mode_t mode, Existing existing) {
    const FileDescriptor folder(
        ::open(file.parent_path().empty() ? "." : file.parent_path().c_str(),
               O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) {
        fail("cannot open the folder", file, errno);
    }
    writeIn(folder.get(), file.filename().string(), bytes, mode, file, existing);
}

void write(int folder, const std::string& name, ByteView bytes, mode_t mode) {
    writeIn(folder, name, bytes, mode, name, Existing::replace);
}

}  // namespace qm::AtomicFile
