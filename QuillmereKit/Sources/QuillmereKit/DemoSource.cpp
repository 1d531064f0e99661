#include "QuillmereKit/DemoSource.h"

#include <system_error>

#include "QuillmereCore/AtomicFile.h"
#include "QuillmereCore/DataByteSource.h"
#include "QuillmereKit/DemoClock.h"
#include "QuillmereKit/DemoStreamFormat.h"
#include "ServerProtocol/PacketDemuxer.h"

namespace qm {

namespace {

void throwIfStopped(const std::stop_token& stop) {
    if (stop.stop_requested()) {
        throw CancellationError();
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

DemoSource DemoSource::open(const std::filesystem::path& file) {
    std::optional<Bytes> data;
    try {
        data = AtomicFile::read(file, maxFileSize);
    } catch (const std::filesystem::filesystem_error& error) {
        throw DemoError::unreadable(error.code().message());
    }
    if (!data) {
        throw DemoError::unreadable(
            std::make_error_code(std::errc::no_such_file_or_directory).message());
    }
    try {
        return DemoSource(std::move(*data));
    } catch (const DemoStreamFormat::FormatError& error) {
        throw DemoError::unreadable(error.caseText());
    }
}

ByteView DemoSource::body() const noexcept {
    return ByteView(data_).subspan(DemoStreamFormat::headerSize);
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
    DataByteSource source = DataByteSource::viewing(body());
    DemoClock demoClock;
    std::size_t timedPackets = 0;
    for (;;) {
        std::optional<StreamEvent> event;
        try {
            event = PacketDemuxer::nextEvent(source, stop);
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

}  // namespace qm
