#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

#include "QuillmereCore/Bytes.h"
#include "QuillmereCore/StreamTypes.h"
#include "QuillmereCore/TaskClock.h"
#include "QuillmereCore/TypedError.h"

namespace qm {

enum class DemoErrorKind { unreadable, noTimedPackets };

class DemoError : public TypedError<DemoErrorKind> {
public:
    // The message, which is also the case, is what the session fails with:
    // "demo stream: badMagic".
    static DemoError unreadable(const std::string& description);
    static DemoError noTimedPackets();

private:
    using TypedError::TypedError;
};

// A stream capture replayed in passes over its body, each packet handed on when its
// presentation time comes. Immutable once made; play() may run on any one thread.
class DemoSource {
public:
    // A body whose packets span no time would otherwise loop without pause.
    static constexpr std::chrono::milliseconds minimumPass{100};

    using LoopStart = std::function<void(int pass)>;
    using EventHandler = std::function<void(const StreamEvent& event)>;

    // A capture held in memory. Throws DemoStreamFormat::FormatError for a bad header.
    explicit DemoSource(Bytes data);
    // A capture file of any size: its header is checked here, and every pass reads the body in
    // pieces, so a tap of many minutes plays too. Throws DemoError::unreadable for a file that
    // cannot be read (anything but a regular file) or has a bad header.
    static DemoSource open(const std::filesystem::path& file);

    VideoCodec codec() const noexcept { return codec_; }

    // Plays `loops` passes (forever without), calling `onLoopStart` with each pass's index
    // before its first event and `handle` with every event, one after another, on the calling
    // thread. Each pass lasts at least `minimumPass`. Throws DemoError::noTimedPackets after a
    // pass without a timed packet, DemoError::unreadable when the file cannot be read or was
    // shortened during the pass, BinaryError for a malformed packet header, CancellationError
    // once `stop` is requested, and whatever the callbacks throw. A packet cut short by the end
    // of the body ends the pass.
    void play(std::optional<int> loops, const LoopStart& onLoopStart, const EventHandler& handle,
              const TaskClock& clock, std::stop_token stop) const;

private:
    DemoSource(VideoCodec codec, std::filesystem::path file);

    // One pass; returns the number of timed packets.
    std::size_t playPass(const EventHandler& handle, const TaskClock& clock,
                         const std::stop_token& stop) const;

    VideoCodec codec_;  // before the data, which the constructor parses and then takes
    Bytes data_;        // the capture held in memory, or nothing
    std::optional<std::filesystem::path> file_;  // or the file read on every pass
};

}  // namespace qm
