#include "QuillmereKit/Video/RawStreamTap.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include "QuillmereCore/Log.h"
#include "QuillmereCore/PrivateFolders.h"
#include "QuillmereKit/Demo/DemoStreamFormat.h"

namespace qm {

namespace {

// Writes all of `data`; returns 0 or the errno of the failure.
int writeAll(int fd, ByteView data) {
    while (!data.empty()) {
        const ssize_t count = ::write(fd, data.data(), data.size());
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        data = data.subspan(static_cast<std::size_t>(count));
    }
    return 0;
}

}  // namespace

std::filesystem::path RawStreamTap::numbered(const std::filesystem::path& path, int number) {
    if (number == 0) {
        return path;
    }
    std::filesystem::path name = path.stem();
    // Appended piece by piece: GCC 12 at -O3 takes "-" + to_string() for an overflowing copy.
    name += "-";
    name += std::to_string(number);
    name += path.extension();
    return path.parent_path() / name;
}

RawStreamTap::RawStreamTap(std::shared_ptr<ByteSource> source, const std::filesystem::path& path,
                           VideoCodec codec)
    : source_(std::move(source)) {
    if (path.has_parent_path()) {
        try {
            createPrivateFolders(path.parent_path());
        } catch (const std::filesystem::filesystem_error& error) {
            // Said as the file's failure is: by name, the whole path being private.
            throw std::system_error(
                error.code(), "cannot create the folder " + error.path1().filename().string());
        }
    }
    // Never an existing file, nor a link planted where the new one goes: a name taken (by the
    // stream's earlier launch) moves on to the next number.
    for (int number = 0; fd_ < 0; ++number) {
        path_ = numbered(path, number);
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd_ < 0 && (errno != EEXIST || number == maxNumber)) {
            throw std::system_error(errno, std::generic_category(),
                                    "cannot create " + path_.filename().string());
        }
    }
    if (const int error = writeAll(fd_, DemoStreamFormat::header(codec))) {
        closeFile();
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
        throw std::system_error(error, std::generic_category(),
                                "cannot write " + path_.filename().string());
    }
}

RawStreamTap::~RawStreamTap() {
    closeFile();
}

void RawStreamTap::close() noexcept {
    closing_ = true;
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (lock.owns_lock()) {
        closeFile();
    }
}

void RawStreamTap::discard() noexcept {
    close();
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

void RawStreamTap::closeFile() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::size_t RawStreamTap::bytesWritten() const {
    return written_;
}

void RawStreamTap::readInto(std::span<std::uint8_t> into, std::stop_token stop) {
    source_->readExactly(into, std::move(stop));
    copy(into);
}

Bytes RawStreamTap::readBytes(std::size_t count, std::stop_token stop) {
    Bytes bytes = source_->readExactly(count, std::move(stop));
    copy(bytes);
    return bytes;
}

void RawStreamTap::copy(ByteView bytes) {
    std::lock_guard lock(mutex_);
    if (closing_ || fd_ < 0) {
        closeFile();
        return;
    }
    if (const int error = writeAll(fd_, bytes)) {
        closeFile();
        Log::video().error("raw stream tap stopped: {}", std::generic_category().message(error));
        return;
    }
    written_ += bytes.size();
    if (closing_) {
        closeFile();  // close() came during the write
    }
}

}  // namespace qm
