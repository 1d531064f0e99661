#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

#include "QuillmereCore/Executor.h"
#include "QuillmereCore/StreamTypes.h"
#include "Recorder/RecorderError.h"
#include "VideoPipeline/FormatDescription.h"

namespace qm {

class SerialQueue;

struct StreamRecorderOptions {
    static constexpr std::size_t defaultMaxBacklog = 512;
    static constexpr std::chrono::microseconds defaultFragmentInterval = std::chrono::seconds(10);

    // Samples admitted but not yet written; config packets are never refused.
    std::size_t maxBacklog = defaultMaxBacklog;
    std::chrono::microseconds fragmentInterval = defaultFragmentInterval;
    // Where the writing happens; by default a "recorder" thread of the recorder's own.
    std::shared_ptr<Executor> queue;
    // When a packet reached the host, in nanoseconds: the sound starts where its first packet
    // arrived beside the picture when its stamp puts it elsewhere. None trusts the stamps.
    std::function<std::uint64_t()> arrivalClock = nullptr;
};

// Records the live stream into a fragmented MP4 file while it is shown: video copied as the
// phone sends it, PCM audio encoded to AAC. The recording starts at the first key frame,
// waits for a new key frame whenever a video sample is lost, and ends (keeping what was
// written) when the stream's parameter sets change.
//
// Appends may come from any thread, each caller in stream order, and never wait: they take a
// short lock to count the backlog and hand the packet to the queue, where all writing happens.
// Events and the finish completion are called on the queue. Queued work keeps what it uses
// alive, and the last reference may go on the queue (a finish completion holding it).
class StreamRecorder {
public:
    enum class Event { formatChanged, keyFrameNeeded, writerFailed };
    using EventHandler = std::function<void(Event)>;
    using FinishResult = std::variant<std::filesystem::path, RecorderError>;
    using FinishHandler = std::function<void(FinishResult)>;

    // Creates the file and writes its header with `videoFormat`, the decoder's current format;
    // `audioChannels` adds an AAC track. Throws RecorderError::cannotStart.
    StreamRecorder(std::filesystem::path url, const FormatDescription& videoFormat,
                   std::optional<int> audioChannels, EventHandler onEvent = {},
                   StreamRecorderOptions options = {});
    ~StreamRecorder();
    StreamRecorder(const StreamRecorder&) = delete;
    StreamRecorder& operator=(const StreamRecorder&) = delete;

    const std::filesystem::path& outputURL() const;

    // A config, key frame or frame of the video stream.
    void appendVideo(StreamPacket packet);
    // Interleaved signed 16-bit little-endian PCM at 48 kHz.
    void appendAudio(StreamPacket packet);
    // Completes the file and gives its path, or the RecorderError; packets still queued behind
    // it are ignored, and so are later appends. What was written when it is called reaches the
    // disk before the packets queued ahead of it are written.
    void finish(FinishHandler completion);

private:
    class Writing;

    std::optional<std::uint64_t> arrived() const;

    std::shared_ptr<Writing> writing_;
    std::shared_ptr<Executor> queue_;
    const std::function<std::uint64_t()> arrivalClock_;
    SerialQueue* ownQueue_ = nullptr;  // the default queue, owned through queue_
};

}  // namespace qm
