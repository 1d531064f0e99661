#include "QuillmereKit/Demo/DemoSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "QuillmereCore/DataByteSource.h"
#include "QuillmereCore/FileDescriptor.h"
#include "QuillmereKit/Demo/DemoClock.h"
#include "QuillmereKit/Demo/DemoStreamFormat.h"
#include "ServerProtocol/PacketDemuxer.h"

namespace qm {

namespace {

void throwIfStopped(const std::stop_token& stop) {
    if (stop.stop_requested()) {
        throw CancellationError();
    }
}

DemoError unreadable(int error) {
    return DemoError::unreadable(std::generic_category().message(error));
}

// A capture file read in pieces from just after its header up to the size it had when opened:
// growth is left for the next pass, and a file shortened meanwhile fails the read. Nothing is
// mapped, since a mapped file that another program shortens crashes its reader.
class CaptureFile final : public ByteSource {
public:
    explicit CaptureFile(const std::filesystem::path& file)
        // Not blocking: a FIFO is refused, never waited on.
        : fd_(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
        if (!fd_) {
            throw unreadable(errno);
        }
        struct stat info {};
        if (::fstat(fd_.get(), &info) != 0) {
            throw unreadable(errno);
        }
        if (!S_ISREG(info.st_mode)) {
            const char* kind = S_ISDIR(info.st_mode)    ? "a folder"
                               : S_ISFIFO(info.st_mode) ? "a named pipe"
                                                        : "a device";
            throw DemoError::unreadable(file.filename().string() + " is " + kind +
                                        ", not a capture file");
        }
        remaining_ = static_cast<std::uint64_t>(info.st_size);
    }

    // Up to `count` bytes, fewer only at the end.
    Bytes readUpTo(std::size_t count) {
        Bytes bytes(static_cast<std::size_t>(std::min<std::uint64_t>(count, remaining_)));
        readInto(bytes, {});
        return bytes;
    }

protected:
    void readInto(std::span<std::uint8_t> into, std::stop_token) override {
        if (remaining_ < into.size()) {
            throw ByteIOError::endOfStream();
        }
        const std::size_t buffered = std::min(into.size(), buffer_.size() - offset_);
        if (buffered > 0) {
            std::memcpy(into.data(), buffer_.data() + offset_, buffered);
            offset_ += buffered;
        }
        remaining_ -= into.size();
        into = into.subspan(buffered);
        if (into.size() >= chunkSize) {
            fill(into);  // a large payload goes straight where it belongs
        } else if (!into.empty()) {
            buffer_.resize(static_cast<std::size_t>(
                std::min<std::uint64_t>(chunkSize, into.size() + remaining_)));
            fill(buffer_);
            std::memcpy(into.data(), buffer_.data(), into.size());
            offset_ = into.size();
        }
    }

private:
    static constexpr std::size_t chunkSize = 256 * 1024;

    void fill(std::span<std::uint8_t> into) {
        while (!into.empty()) {
            const ssize_t count = ::read(fd_.get(), into.data(), into.size());
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count < 0) {
                throw unreadable(errno);
            }
            if (count == 0) {
                throw DemoError::unreadable("the file was shortened while it played");
            }
            into = into.subspan(static_cast<std::size_t>(count));
        }
    }

    FileDescriptor fd_;
    std::uint64_t remaining_ = 0;  // bytes not yet handed out, buffered or not
    Bytes buffer_;
    std::size_t offset_ = 0;  // into buffer_
};

// One pass over a body; returns the number of timed packets.
std::size_t playBody(ByteSource& body, const DemoSource::EventHandler& handle,
                     const TaskClock& clock, const std::stop_token& stop) {
    DemoClock demoClock;
    std::size_t timedPackets = 0;
    for (;;) {
        std::optional<StreamEvent> event;
        try {
            event = PacketDemuxer::nextEvent(body, stop);
        } catch (const ByteIOError& error) {
            if (error.kind() == ByteIOErrorKind::endOfStream) {
                return timedPackets;
            }
            throw;
        }
        const auto* packet = std::get_if<StreamPacket>(&*event);
        if (packet && packet->ptsMicros) {
            ++timedPackets;
            const std::uint64_t now = clock.nowNanos();
            const std::uint64_t due = demoClock.deadline(*packet->ptsMicros, now);
            if (due > now) {
                clock.sleep(std::chrono::nanoseconds(due - now), stop);
            }
        }
        throwIfStopped(stop);
        handle(*event);
    }
}

}  // namespace

DemoError DemoError::unreadable(const std::string& description) {
    return {Kind::unreadable, "demo stream: " + description};
}

DemoError DemoError::noTimedPackets() {
    return {Kind::noTimedPackets, "the demo stream has no timed packets", "noTimedPackets"};
}

DemoSource::DemoSource(Bytes data)
    : codec_(DemoStreamFormat::parse(data).header.codec), data_(std::move(data)) {}

DemoSource::DemoSource(VideoCodec codec, std::filesystem::path file)
    : codec_(codec), file_(std::move(file)) {}

DemoSource DemoSource::open(const std::filesystem::path& file) {
    CaptureFile capture(file);
    try {
        const Bytes header = capture.readUpTo(DemoStreamFormat::headerSize);
        return DemoSource(DemoStreamFormat::parse(header).header.codec, file);
    } catch (const DemoStreamFormat::FormatError& error) {
        throw DemoError::unreadable(error.caseText());
    }
}

void DemoSource::play(std::optional<int> loops, const LoopStart& onLoopStart,
                      const EventHandler& handle, const TaskClock& clock,
                      std::stop_token stop) const {
    for (int pass = 0; !loops || pass < *loops; ++pass) {
        throwIfStopped(stop);
        if (onLoopStart) {
            onLoopStart(pass);
        }
        const std::uint64_t started = clock.nowNanos();
        if (playPass(handle, clock, stop) == 0) {
            throw DemoError::noTimedPackets();
        }
        const std::uint64_t elapsed = clock.nowNanos() - started;
        const auto minimum = static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(minimumPass).count());
        if (elapsed < minimum) {
            clock.sleep(std::chrono::nanoseconds(minimum - elapsed), stop);
        }
    }
}

std::size_t DemoSource::playPass(const EventHandler& handle, const TaskClock& clock,
                                 const std::stop_token& stop) const {
    if (file_) {
        CaptureFile body(*file_);
        body.readUpTo(DemoStreamFormat::headerSize);
        return playBody(body, handle, clock, stop);
    }
    DataByteSource body =
        DataByteSource::viewing(ByteView(data_).subspan(DemoStreamFormat::headerSize));
    return playBody(body, handle, clock, stop);
}

}  // namespace qm
