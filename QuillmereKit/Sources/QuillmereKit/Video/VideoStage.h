#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "QuillmereCore/Executor.h"
#include "QuillmereCore/StreamTypes.h"
#include "VideoPipeline/DecodedFrame.h"
#include "VideoPipeline/LatestFrameSlot.h"
#include "VideoPipeline/VideoDecoder.h"
#include "VideoPipeline/View/VideoLayer.h"
#include "VideoPipeline/View/VideoRenderer.h"

namespace qm {

// Where the three threads of a video frame meet: the video reader feeds the current decoder,
// decoded frames go through a latest-frame slot to the serial render queue, and the main
// thread installs decoders and the render target. The newest frame wins: the decoder never
// waits for drawing, and a frame replaced before it was drawn counts as dropped.
class VideoStage {
public:
    // The drawn frame and the host-clock time it reached the screen.
    using PresentedHandler = std::function<void(const DecodedFrame&, std::uint64_t)>;

    // With a render queue of its own, the thread "render".
    VideoStage();
    // With the given render queue; the stage's blocks keep what they use alive.
    explicit VideoStage(std::shared_ptr<Executor> renderQueue);
    ~VideoStage();
    VideoStage(const VideoStage&) = delete;
    VideoStage& operator=(const VideoStage&) = delete;

    std::shared_ptr<VideoDecoder> decoder() const;
    // Gives back the decoder it replaces, for the caller to let go where the codec may join its
    // threads.
    std::shared_ptr<VideoDecoder> replaceDecoder(std::shared_ptr<VideoDecoder> decoder);

    // Gives the event to the current decoder outside the stage's lock; dropped without one.
    void handle(const StreamEvent& event);

    // The previous target is released on the render queue, where its renderer draws.
    void setTarget(std::shared_ptr<VideoLayer> layer, std::shared_ptr<VideoRenderer> renderer);

    // The next frame counts as a size change.
    void resetVideoSize();
    // The frame waiting to be drawn is dropped: it belongs to a stream that has ended.
    void discardWaitingFrame() { shared_->slot.take(); }

    // On the decoder's thread: queues the frame for drawing and returns its size when it
    // differs from the last frame's. Only a frame that finds none waiting queues a draw, which
    // reports with that frame's handler: pass the same handler for every frame.
    std::optional<VideoSize> frameDecoded(DecodedFrame frame, PresentedHandler onPresented);

    // Frames replaced before they were drawn.
    int droppedCount() const { return shared_->slot.droppedCount(); }

private:
    struct RenderTarget {
        std::shared_ptr<VideoRenderer> renderer;  // declared first: the layer goes before it
        std::shared_ptr<VideoLayer> layer;
    };
    struct Shared {
        LatestFrameSlot slot;
        std::mutex mutex;
        std::shared_ptr<VideoDecoder> decoder;
        std::optional<RenderTarget> target;
        std::optional<VideoSize> lastSize;
    };

    static void drawLatest(Shared& shared, const PresentedHandler& onPresented);

    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::shared_ptr<Executor> renderQueue_;
};

}  // namespace qm
