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
    // Minutes of video at the phone's bit rates; a larger file is refused, not read.
    static constexpr std::size_t maxFileSize = 256 * 1024 * 1024;
    // A body whose packets span no time would otherwise loop without pause.
    static constexpr std::chrono::milliseconds minimumPass{100};

    using LoopStart = std::function<void(int pass)>;
    using EventHandler = std::function<void(const StreamEvent& event)>;

    // Throws DemoStreamFormat::FormatError for a bad header.
    explicit DemoSource(Bytes data);
    // Reads the whole file rather than map it: a mapped file that another program shortens
    // crashes its reader. Throws DemoError::unreadable for a file that cannot be read or has a
    // bad header.
    static DemoSource open(const std::filesystem::path& file);

    VideoCodec codec() const noexcept { return codec_; }
    ByteView body() const noexcept;

    // Plays `loops` passes (forever without), calling `onLoopStart` with each pass's index
    // before its first event and `handle` with every event, one after another, on the calling
    // thread. Each pass lasts at least `minimumPass`. Throws DemoError::noTimedPackets after a
    // pass without a timed packet, BinaryError for a malformed packet header, CancellationError
    // once `stop` is requested, and whatever the callbacks throw. A packet cut short by the end
    // of the body ends the pass.
    void play(std::optional<int> loops, const LoopStart& onLoopStart, const EventHandler& handle,
              const TaskClock& clock, std::stop_token stop) const;

private:
    // One pass; returns the number of timed packets.
    std::size_t playPass(const EventHandler& handle, const TaskClock& clock,
                         const std::stop_token& stop) const;

    VideoCodec codec_;  // before the data, which the constructor parses and then takes
    Bytes data_;
};

}  // namespace qm
