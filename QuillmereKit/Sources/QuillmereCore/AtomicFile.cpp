#include "QuillmereCore/AtomicFile.h"

#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::AtomicFile {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const noexcept { return fd_; }
    // Closes now so that the caller sees the failure.
    bool close() noexcept {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

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

}  // namespace

std::optional<Bytes> read(const std::filesystem::path& file, std::size_t maxSize) {
    // Non-blocking so that opening a FIFO returns at once; it is refused below.
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::nullopt;
        }
        fail("cannot open", file, errno);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        fail("cannot read", file, errno);
    }
    if (!S_ISREG(info.st_mode)) {
        fail("not a regular file", file, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    }
    if (static_cast<std::uintmax_t>(info.st_size) > maxSize) {
        fail("file too large", file, EFBIG);
    }
    Bytes contents(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = ::read(fd.get(), contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            fail("cannot read", file, errno);
        }
        if (n == 0) {
            contents.resize(done);  // cut short since fstat
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return contents;
}

void write(const std::filesystem::path& file, ByteView bytes, mode_t mode) {
    std::string temporary = file.string() + ".XXXXXX";
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));  // created 0600
    if (fd.get() < 0) {
        fail("cannot create a temporary file", file, errno);
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
    if (error == 0 && ::rename(temporary.c_str(), file.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        fail("cannot write", file, error);
    }
    FileDescriptor folder(::open(file.parent_path().empty() ? "." : file.parent_path().c_str(),
                                 O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) {
        // Makes the rename itself durable. The new file is in place already, so a failure here
        // is no reason to report the write as failed.
        ::fsync(folder.get());
    }
}

}  // namespace qm::AtomicFile
