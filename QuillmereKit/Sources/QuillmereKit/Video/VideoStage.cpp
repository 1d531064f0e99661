#include "QuillmereKit/Video/VideoStage.h"

#include <utility>

#include "QuillmereCore/SerialQueue.h"

namespace qm {

VideoStage::VideoStage() : VideoStage(std::make_shared<SerialQueue>("render")) {}

VideoStage::VideoStage(std::shared_ptr<Executor> renderQueue)
    : renderQueue_(std::move(renderQueue)) {}

VideoStage::~VideoStage() {
    std::optional<RenderTarget> target;
    {
        std::lock_guard lock(shared_->mutex);
        target = std::exchange(shared_->target, std::nullopt);
    }
    if (target) {
        renderQueue_->post([released = std::move(*target)] {});
    }
}

std::shared_ptr<VideoDecoder> VideoStage::decoder() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->decoder;
}

std::shared_ptr<VideoDecoder> VideoStage::replaceDecoder(std::shared_ptr<VideoDecoder> decoder) {
    std::lock_guard lock(shared_->mutex);
    std::swap(shared_->decoder, decoder);
    return decoder;
}

void VideoStage::handle(const StreamEvent& event) {
    std::shared_ptr<VideoDecoder> current = decoder();
    if (current) {
        current->handle(event);
    }
}

void VideoStage::setTarget(std::shared_ptr<VideoLayer> layer,
                           std::shared_ptr<VideoRenderer> renderer) {
    std::optional<RenderTarget> previous;
    {
        std::lock_guard lock(shared_->mutex);
        previous =
            std::exchange(shared_->target, RenderTarget{std::move(renderer), std::move(layer)});
    }
    if (previous) {
        renderQueue_->post([released = std::move(*previous)] {});
    }
}

void VideoStage::resetVideoSize() {
    std::lock_guard lock(shared_->mutex);
    shared_->lastSize.reset();
}

std::optional<VideoSize> VideoStage::frameDecoded(DecodedFrame frame,
                                                  PresentedHandler onPresented) {
    const VideoSize size{frame.pixelBuffer.width(), frame.pixelBuffer.height()};
    // A frame already waiting has its draw queued, which will take this one instead: drawing
    // slower than decoding must not grow the render queue.
    if (!shared_->slot.put(std::move(frame))) {
        renderQueue_->post([shared = shared_, onPresented = std::move(onPresented)] {
            drawLatest(*shared, onPresented);
        });
    }
    std::lock_guard lock(shared_->mutex);
    if (shared_->lastSize == size) {
        return std::nullopt;
    }
    shared_->lastSize = size;
    return size;
}

void VideoStage::drawLatest(Shared& shared, const PresentedHandler& onPresented) {
    std::optional<DecodedFrame> frame = shared.slot.take();
    if (!frame) {
        return;  // an earlier block drew the newest frame
    }
    std::optional<RenderTarget> target;
    {
        std::lock_guard lock(shared.mutex);
        target = shared.target;
    }
    if (!target) {
        return;
    }
    target->renderer->render(*frame, *target->layer,
                             [frame = *frame, onPresented](std::uint64_t presentedNanos) {
                                 if (onPresented) {
                                     onPresented(frame, presentedNanos);
                                 }
                             });
}

}  // namespace qm
